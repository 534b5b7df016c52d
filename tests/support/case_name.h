#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace tellumic::test {

// A parameterised test's name from its case's text: letters and digits kept, anything else '_'.
inline std::string caseName(std::string_view text)
{
    std::string name(text);
    for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

}  // namespace tellumic::test
