#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace tellumic {

// Base of the object-defined error numbers; the plug-in's own internal errors are
// this base plus 2010 to 2014.
inline constexpr std::int32_t kObjectErrorBase = static_cast<std::int32_t>(0x80040000u);

// Well-known error numbers raised or tested across the plug-in.
namespace ErrorNumber {
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kBadFileNameOrNumber = 52;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kDiskFull = 61;
inline constexpr std::int32_t kPermissionDenied = 70;
inline constexpr std::int32_t kPathFileAccess = 75;
inline constexpr std::int32_t kPathNotFound = 76;
inline constexpr std::int32_t kCommunicationFailure = static_cast<std::int32_t>(0x80040402u);
inline constexpr std::int32_t kSettingNotWritten = static_cast<std::int32_t>(0x80040201u);
inline constexpr std::int32_t kInvalidLonWorksPath = kObjectErrorBase + 2010;
}  // namespace ErrorNumber

// The run-time error of the plug-in: a number, a source and a description. Thrown where
// a procedure raises, caught by const& where a procedure handles.
class RuntimeError : public std::exception
{
public:
    RuntimeError(std::int32_t number, std::string description, std::string source = {});

    std::int32_t number() const noexcept { return m_number; }
    // The number as a 32-bit unsigned value, as hosts print it (0x80040402, 20004).
    std::uint32_t unsignedNumber() const noexcept { return static_cast<std::uint32_t>(m_number); }
    const std::string &description() const noexcept { return m_description; }
    const std::string &source() const noexcept { return m_source; }
    const char *what() const noexcept override { return m_description.c_str(); }

    // The same error with its description prefixed, as a procedure re-raises it.
    RuntimeError prefixed(const std::string &prefix) const;

private:
    std::int32_t m_number;
    std::string m_description;
    std::string m_source;
};

// The text of an error as error handlers trace it: number "," description.
std::string errorText(const RuntimeError &error);

}  // namespace tellumic
