#pragma once
// Checks that a statement raises an exception of a given type (or of a class
// derived from it), and what the exception says:
//
//   EXPECT_THROW_MSG(statement, ExceptionType, message)   what() is exactly message
//   EXPECT_THROW_MSG_STARTS(statement, ExceptionType, start)
//                                                          what() begins with start
//   EXPECT_THROW_MSG_HAS(statement, ExceptionType, part, ...)
//                                                          what() contains every part
//   EXPECT_THROW_CHECK(statement, ExceptionType, check)   check(const ExceptionType&)
//                                                          makes the test's own checks
//
// Checking the text as well as the type catches an error that is raised for
// the wrong reason or names the wrong thing. A failure names the statement,
// the message expected and what happened instead: the message raised, or
// that nothing was raised, or the class and message of an exception of
// another type (which does not escape into the test). ASSERT_THROW_MSG ends
// the test when it fails. Each takes further context with <<, as EXPECT_EQ
// does.

#include <cxxabi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <typeinfo>

namespace pv::test {

// The class's name as written in the source ("pv::EFormError").
inline std::string ClassNameOf(const std::type_info& Type) {
    int Status = 0;
    const std::unique_ptr<char, void (*)(void*)> Name(abi::__cxa_demangle(Type.name(), nullptr, nullptr, &Status),
                                                      std::free);
    return Status == 0 && Name ? std::string(Name.get()) : std::string(Type.name());
}

inline std::string Quoted(const std::string& Text) { return ::testing::PrintToString(Text); }

// Runs Fn and hands OnCaught the E that it raises. Otherwise returns what
// happened instead, for a failure message ("raises nothing", ...).
template <class E, class F, class G>
std::optional<std::string> Catching(F&& Fn, G&& OnCaught) {
    // Nested, so that E may be std::exception itself.
    try {
        try {
            Fn();
        } catch (const E& Caught) {
            OnCaught(Caught);
            return std::nullopt;
        }
    } catch (const std::exception& Other) {
        return "raises " + ClassNameOf(typeid(Other)) + " with the message " + Quoted(Other.what());
    } catch (...) {
        return std::string("raises an exception that is not a std::exception");
    }
    return std::string("raises nothing");
}

enum class TMessageMatch { Exact, StartsWith, Contains };

template <class E, class F>
::testing::AssertionResult RaisesMessage(F&& Fn, const char* Statement, const char* Type, TMessageMatch Match,
                                         std::initializer_list<std::string> Want) {
    std::string What, Class;
    const std::optional<std::string> Instead = Catching<E>(Fn, [&](const E& Caught) {
        What = Caught.what();
        Class = ClassNameOf(typeid(Caught));
    });
    auto Found = [&](const std::string& Part) { return What.find(Part) != std::string::npos; };
    const std::string& First = *Want.begin();
    const bool Matches = Match == TMessageMatch::Exact        ? What == First
                         : Match == TMessageMatch::StartsWith ? What.compare(0, First.size(), First) == 0
                                                              : std::all_of(Want.begin(), Want.end(), Found);
    if (!Instead && Matches) return ::testing::AssertionSuccess();
    const char* const How[] = {"", "that begins with ", "containing "};
    ::testing::AssertionResult Failure = ::testing::AssertionFailure();
    Failure << Statement << "\n  should raise " << Type << " with a message " << How[static_cast<int>(Match)];
    const char* Joint = "";
    for (const std::string& Part : Want) {
        Failure << Joint << Quoted(Part);
        Joint = " and ";
    }
    Failure << "\n  but it " << (Instead ? *Instead : "raises " + Class + " with the message " + Quoted(What));
    return Failure;
}

}  // namespace pv::test

#define PV_THROW_MSG_(on_failure, statement, ExceptionType, match, ...)                                 \
    switch (0)                                                                                         \
    case 0:                                                                                            \
    default:                                                                                           \
        if (const ::testing::AssertionResult PvThrown_ = ::pv::test::RaisesMessage<ExceptionType>(     \
                [&] { statement; }, #statement, #ExceptionType, ::pv::test::TMessageMatch::match,      \
                {__VA_ARGS__}))                                                                        \
            ;                                                                                          \
        else                                                                                           \
            on_failure(PvThrown_.failure_message())

#define EXPECT_THROW_MSG(statement, ExceptionType, message) \
    PV_THROW_MSG_(GTEST_NONFATAL_FAILURE_, statement, ExceptionType, Exact, message)
#define ASSERT_THROW_MSG(statement, ExceptionType, message) \
    PV_THROW_MSG_(GTEST_FATAL_FAILURE_, statement, ExceptionType, Exact, message)
#define EXPECT_THROW_MSG_STARTS(statement, ExceptionType, start) \
    PV_THROW_MSG_(GTEST_NONFATAL_FAILURE_, statement, ExceptionType, StartsWith, start)
#define EXPECT_THROW_MSG_HAS(statement, ExceptionType, ...) \
    PV_THROW_MSG_(GTEST_NONFATAL_FAILURE_, statement, ExceptionType, Contains, __VA_ARGS__)

#define EXPECT_THROW_CHECK(statement, ExceptionType, ...)                                                \
    switch (0)                                                                                          \
    case 0:                                                                                             \
    default:                                                                                            \
        if (const std::optional<std::string> PvInstead_ =                                               \
                ::pv::test::Catching<ExceptionType>([&] { statement; }, __VA_ARGS__);                   \
            !PvInstead_)                                                                                \
            ;                                                                                           \
        else                                                                                            \
            GTEST_NONFATAL_FAILURE_(                                                                    \
                (#statement "\n  should raise " #ExceptionType "\n  but it " + *PvInstead_).c_str())
