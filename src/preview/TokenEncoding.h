#pragma once

#include <QString>

#include <array>
#include <optional>

namespace korimado {

// The token encoding counted in the status line; the index is what EditorSettingsKey::tokenIndex stores.
enum class TokenEncoding { off = 0, o200k = 1, cl100k = 2 };

inline constexpr std::array<TokenEncoding, 3> allTokenEncodings{TokenEncoding::off, TokenEncoding::o200k,
                                                                 TokenEncoding::cl100k};

// "非表示", "o200k_base", "cl100k_base": also the titles of the window's token pop-up.
QString rawValue(TokenEncoding encoding);
// Exactly the three raw values; anything else gives nothing.
std::optional<TokenEncoding> tokenEncodingFromRawValue(const QString& raw);
// The encoding at a pop-up or settings index; a negative index counts as 0, a too large one as off.
TokenEncoding tokenEncodingAt(qint64 index);

}  // namespace korimado
