#pragma once

#include <string>

namespace tellumic {

// The device window's event log: error and information lines for the user.
class EventLog
{
public:
    virtual ~EventLog() = default;
    virtual void addError(const std::string &text) = 0;
    virtual void addInfo(const std::string &text) = 0;
};

}  // namespace tellumic
