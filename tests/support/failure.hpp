// Helpers for tests that expect a call to fail: run it, catch our Failure,
// and hand back what a test compares (the failure, its identifier, its text).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "gateway/failure.hpp"

namespace tern::test_support {

// The Failure that f raised; a test failure is recorded when f completes.
template <class F>
Failure failureOf(F&& f) {
    try {
        std::forward<F>(f)();
    } catch (const Failure& e) {
        return e;
    }
    ADD_FAILURE() << "no failure raised";
    return Failure(FailureKind::RunTime, "no failure", "no failure");
}

// The identifier of the failure f raised ("" for an own check).
template <class F>
std::string identifierOf(F&& f) {
    return failureOf(std::forward<F>(f)).identifier();
}

// The identifier of a run-time check that f must raise.
template <class F>
std::string runTimeIdOf(F&& f) {
    const Failure e = failureOf(std::forward<F>(f));
    EXPECT_EQ(e.kind(), FailureKind::RunTime) << e.message();
    return e.identifier();
}

// The "ERRO!" text of an own check that f must raise (no identifier).
template <class F>
std::string ownMessageOf(F&& f) {
    const Failure e = failureOf(std::forward<F>(f));
    EXPECT_EQ(e.kind(), FailureKind::OwnCheck) << e.identifier();
    EXPECT_EQ(e.identifier(), "");
    return e.message();
}

// "no failure" when f completes; otherwise the own check's text or the
// run-time check's identifier.
template <class F>
std::string outcomeOf(F&& f) {
    try {
        std::forward<F>(f)();
    } catch (const Failure& e) {
        return e.kind() == FailureKind::OwnCheck ? e.message() : e.identifier();
    }
    return "no failure";
}

}  // namespace tern::test_support
