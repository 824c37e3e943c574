#pragma once

// Walking a text character by character without copying it: the fast,
// allocation-free companion of forEachGrapheme for code that keeps byte
// offsets into its input.

#include "text/Text.h"

#include <cstddef>
#include <string_view>
#include <type_traits>

namespace tess::text {

inline bool isAsciiByte(char c)
{
    return static_cast<unsigned char>(c) < 0x80;
}

// Every byte is one character: ASCII without CR (CR LF is one character).
bool bytesAreCharacters(std::string_view s);

// Length of the well-formed UTF-8 sequence that `s` (not empty) starts with;
// 0 when its first byte starts none.
std::size_t sequenceLengthAt(std::string_view s);

// A number character: the first code point has a numeric type (digits,
// numeric letters, fractions, ...).
bool isNumberCharacter(std::string_view character);

// Walks the characters of a text, handing fn(character, byteOffset) each
// one; fn returns false to stop. Every character handed out is a view into
// `s` itself. Bytes stand for characters where they can. In a text that is
// not valid UTF-8, each byte of an invalid sequence is one character (as it
// reads in Windows-1252) and the valid runs between are walked by grapheme.
template <class Fn>
void forEachCharacter(std::string_view s, Fn&& fn)
{
    if (bytesAreCharacters(s)) {
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (!fn(s.substr(i, 1), i)) {
                return;
            }
        }
        return;
    }
    // One small capture, so that the callback never needs the heap.
    struct State {
        std::string_view text;
        std::remove_reference_t<Fn>* fn;
        std::size_t offset;
        bool more;
    } state {s, &fn, 0, true};
    const auto walkValid = [&state](std::size_t begin, std::size_t end) {
        state.offset = begin;
        forEachGrapheme(state.text.substr(begin, end - begin), [&state](std::string_view character) {
            state.more = (*state.fn)(state.text.substr(state.offset, character.size()), state.offset);
            state.offset += character.size();
            return state.more;
        });
        return state.more;
    };
    if (isValidUtf8(s)) {
        walkValid(0, s.size());
        return;
    }
    std::size_t runStart = 0;
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t length = sequenceLengthAt(s.substr(i));
        if (length > 0) {
            i += length;
            continue;
        }
        if (!walkValid(runStart, i) || !fn(s.substr(i, 1), i)) {
            return;
        }
        ++i;
        runStart = i;
    }
    walkValid(runStart, s.size());
}

}  // namespace tess::text
