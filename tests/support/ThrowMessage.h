#pragma once
// EXPECT_THROW_MSG(statement, ExceptionType, message): the statement raises
// ExceptionType (or a class derived from it) whose what() is exactly
// message. Checks the text as well as the type, so a test catches an error
// that is raised for the wrong reason or names the wrong thing.
// ASSERT_THROW_MSG does the same and ends the test when it fails.

#include <gtest/gtest.h>

#include <optional>
#include <string>

// The message of the ExceptionType that statement raised, or nothing.
#define PV_CAUGHT_MESSAGE_(statement, ExceptionType)              \
    [&]() -> std::optional<std::string> {                         \
        try {                                                     \
            statement;                                            \
        } catch (const ExceptionType& PvE_) {                     \
            return std::string(PvE_.what());                      \
        }                                                         \
        return std::nullopt;                                      \
    }()

#define EXPECT_THROW_MSG(statement, ExceptionType, message)                                        \
    do {                                                                                           \
        const std::optional<std::string> PvWhat_ = PV_CAUGHT_MESSAGE_(statement, ExceptionType);   \
        if (!PvWhat_)                                                                              \
            ADD_FAILURE() << #statement " did not raise " #ExceptionType;                          \
        else                                                                                       \
            EXPECT_EQ(*PvWhat_, std::string(message));                                             \
    } while (false)

#define ASSERT_THROW_MSG(statement, ExceptionType, message)                                        \
    do {                                                                                           \
        const std::optional<std::string> PvWhat_ = PV_CAUGHT_MESSAGE_(statement, ExceptionType);   \
        if (!PvWhat_) GTEST_FAIL() << #statement " did not raise " #ExceptionType;                 \
        ASSERT_EQ(*PvWhat_, std::string(message));                                                 \
    } while (false)

namespace pv::test {

// The message of the E that Fn raises; a test failure when it raises none.
// For tests that look at parts of a message rather than all of it.
template <class E, class F>
std::string ThrownMessage(F&& Fn) {
    const std::optional<std::string> What = PV_CAUGHT_MESSAGE_(Fn(), E);
    if (!What) ADD_FAILURE() << "no exception was raised";
    return What.value_or(std::string());
}

}  // namespace pv::test
