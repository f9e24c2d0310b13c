#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <string>

/// Expects statement to raise an exception of type (or one derived from it) and hands its
/// what() to check, a callable taking the text. Another type or no exception at all fails the
/// test.
#define EXPECT_THROW_CHECKED(statement, type, check)                                               \
    do {                                                                                           \
        try {                                                                                      \
            statement;                                                                             \
            ADD_FAILURE() << #statement " raised nothing; expected " #type;                        \
        } catch (const type& raised) {                                                             \
            check(std::string(raised.what()));                                                     \
        } catch (const std::exception& other) {                                                    \
            ADD_FAILURE() << #statement " raised another type than " #type ": " << other.what();   \
        } catch (...) {                                                                            \
            ADD_FAILURE() << #statement " raised something that is no std::exception";             \
        }                                                                                          \
    } while (false)

/// Expects statement to raise type whose what() is message exactly.
#define EXPECT_THROW_MSG(statement, type, message)                                                 \
    EXPECT_THROW_CHECKED(statement, type, [&](const std::string& raisedText) {                     \
        EXPECT_EQ(raisedText, std::string(message)) << #statement;                                 \
    })

/// Expects statement to raise type whose what() holds fragment: for a message whose rest is
/// the client's or the system's own text.
#define EXPECT_THROW_CONTAINING(statement, type, fragment)                                         \
    EXPECT_THROW_CHECKED(statement, type, [&](const std::string& raisedText) {                     \
        EXPECT_NE(raisedText.find(fragment), std::string::npos) << #statement ": " << raisedText;  \
    })
