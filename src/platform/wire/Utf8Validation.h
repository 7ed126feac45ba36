#pragma once

#include <string_view>

namespace korimado::wire {

// Whether bytes are UTF-8 as Unicode defines it: no overlong forms, no surrogates, nothing past
// U+10FFFF, no cut sequences. Large texts are checked 32 bytes at a time where the processor can.
bool isWellFormedUtf8(std::string_view bytes);

// The byte-at-a-time check, for short texts and processors without the vector instructions; the
// tests hold the two to the same answers.
bool isWellFormedUtf8Scalar(std::string_view bytes);
// The vector check where this processor has it, else the scalar one.
bool isWellFormedUtf8Vector(std::string_view bytes);
bool hasVectorUtf8Check();

}  // namespace korimado::wire
