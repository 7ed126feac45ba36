#include "commands/SnippetStore.h"

#include "platform/foundation/UserDefaults.h"
#include "settings/EditorSettingsKeys.h"

namespace korimado {

QString SnippetStore::key(const SyntaxLanguage& language)
{
    return QString(EditorSettingsKey::snippetsPrefix) + language.id;
}

std::vector<SyntaxSnippet> SnippetStore::snippets(const SyntaxLanguage& language)
{
    return snippets(language, UserDefaults::standard());
}

std::vector<SyntaxSnippet> SnippetStore::snippets(const SyntaxLanguage& language, const UserDefaults& defaults)
{
    const std::optional<DefaultsValue> stored = defaults.object(key(language));
    if (stored && stored->isBytes()) {
        if (auto decoded = SyntaxSnippet::decodeList(stored->bytesValue())) {
            return *decoded;
        }
    }
    return language.snippets;
}

void SnippetStore::save(const std::vector<SyntaxSnippet>& snippets, const SyntaxLanguage& language)
{
    save(snippets, language, UserDefaults::standard());
}

void SnippetStore::save(const std::vector<SyntaxSnippet>& snippets, const SyntaxLanguage& language,
                        UserDefaults& defaults)
{
    defaults.setData(key(language), SyntaxSnippet::encodeList(snippets));
}

}  // namespace korimado
