#include "foundation/runtime_error.h"

namespace tellumic {

RuntimeError::RuntimeError(std::int32_t number, std::string description, std::string source)
    : m_number(number), m_description(std::move(description)), m_source(std::move(source))
{
}

RuntimeError RuntimeError::prefixed(const std::string &prefix) const
{
    return RuntimeError(m_number, prefix + m_description, m_source);
}

std::string errorText(const RuntimeError &error)
{
    return std::to_string(error.number()) + "," + error.description();
}

}  // namespace tellumic
