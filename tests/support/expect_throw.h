#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <string>

/// Expects statement to raise an exception of type (or one derived from it) whose what() is
/// message exactly. Another type, another text or no exception at all fails the test.
#define EXPECT_THROW_MSG(statement, type, message)                                                 \
    do {                                                                                           \
        try {                                                                                      \
            statement;                                                                             \
            ADD_FAILURE() << #statement " raised nothing; expected " #type;                        \
        } catch (const type& raised) {                                                             \
            EXPECT_EQ(std::string(raised.what()), std::string(message)) << #statement;             \
        } catch (const std::exception& other) {                                                    \
            ADD_FAILURE() << #statement " raised another type than " #type ": " << other.what();   \
        } catch (...) {                                                                            \
            ADD_FAILURE() << #statement " raised something that is no std::exception";             \
        }                                                                                          \
    } while (false)
