#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace norvane::testing {

/// Sets an environment variable for the owner's life and puts the old value back.
class EnvironmentOverride {
public:
    EnvironmentOverride(std::string name, const std::string& value) : m_name(std::move(name)) {
        if (const char* old = std::getenv(m_name.c_str()))
            m_old = old;
        ::setenv(m_name.c_str(), value.c_str(), 1);
    }
    ~EnvironmentOverride() {
        if (m_old)
            ::setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

} // namespace norvane::testing
