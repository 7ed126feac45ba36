#pragma once

#include "syntax/SyntaxLanguage.h"
#include "syntax/SyntaxSnippet.h"

#include <QString>

#include <vector>

namespace korimado {

class UserDefaults;

// The user's snippet lists, one per language, in user defaults under EditorSettingsKey::snippetsPrefix + id.
class SnippetStore {
public:
    SnippetStore() = delete;

    static QString key(const SyntaxLanguage& language);
    // The stored list when there is one that decodes (even an empty one), else the language's own.
    static std::vector<SyntaxSnippet> snippets(const SyntaxLanguage& language);
    static std::vector<SyntaxSnippet> snippets(const SyntaxLanguage& language, const UserDefaults& defaults);
    static void save(const std::vector<SyntaxSnippet>& snippets, const SyntaxLanguage& language);
    static void save(const std::vector<SyntaxSnippet>& snippets, const SyntaxLanguage& language,
                     UserDefaults& defaults);
};

}  // namespace korimado
