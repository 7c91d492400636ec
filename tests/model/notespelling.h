#pragma once

// An independent reading of a Latin-1 note or chord name, used to check the
// model's tables against plain music theory rather than against themselves.

#include <map>
#include <optional>
#include <string>

namespace notespelling {

struct Spelling
{
    int letter;      // 0 = Dó .. 6 = Si, in scale order
    int pitchClass;  // 0 = C .. 11 = B
    std::string rest; // whatever follows the note name
};

inline std::optional<Spelling> parse(const std::string &text)
{
    // Latin-1: "\xF3" is ó, "\xE9" é, "\xE1" á.
    static const std::map<std::string, std::pair<int, int>> letters = {
        {"D\xF3", {0, 0}}, {"R\xE9", {1, 2}}, {"Mi", {2, 4}}, {"F\xE1", {3, 5}},
        {"Sol", {4, 7}}, {"L\xE1", {5, 9}}, {"Si", {6, 11}},
    };
    const auto space = text.find(' ');
    const auto found = letters.find(text.substr(0, space));
    if (found == letters.end())
        return std::nullopt;
    Spelling spelling{found->second.first, found->second.second, {}};
    std::string rest = space == std::string::npos ? std::string() : text.substr(space);
    for (const auto &[accidental, shift] : {std::pair<std::string, int>{" ##", 2}, {" #", 1}, {" b", -1}}) {
        if (rest.rfind(accidental, 0) == 0 && (rest.size() == accidental.size() || rest[accidental.size()] == ' ')) {
            spelling.pitchClass += shift;
            rest = rest.substr(accidental.size());
            break;
        }
    }
    spelling.pitchClass = (spelling.pitchClass + 12) % 12;
    spelling.rest = rest;
    return spelling;
}

} // namespace notespelling
