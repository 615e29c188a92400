#pragma once
// The base of the MariaDB test suites: one private server for the suite
// (tests/support/MariaDBServer.h).

#include <gtest/gtest.h>

#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "tests/support/MariaDBServer.h"

namespace pvtest {

// The base of a test suite that shares one private MariaDB server, started
// with the sample data before its first test and stopped after the last.
// A test is skipped, saying so, where the server programs are missing, and
// fails when the server did not start; a test that stopped or paused the
// server leaves it running for the next.
class TMariaDBSuite : public ::testing::Test {
protected:
    static void StartServer(const std::function<void(TMariaDBServer&)>& Prepare = {}) {
        if (!TMariaDBServer::WhyUnavailable().empty()) return;
        try {
            Server = std::make_unique<TMariaDBServer>();
            const char* Source = std::getenv("PLOTVANE_SOURCE_DIR");
            Server->LoadSales(Source ? Source : ".");
            if (Prepare) Prepare(*Server);
        } catch (const std::exception& E) {
            StartError = E.what();
            Server.reset();
        }
    }
    static void TearDownTestSuite() { Server.reset(); }

    void SetUp() override {
        if (const std::string Why = TMariaDBServer::WhyUnavailable(); !Why.empty()) GTEST_SKIP() << Why;
        ASSERT_TRUE(Server) << "the MariaDB server did not start: " << StartError;
        Server->Resume();
        if (!Server->Running()) Server->Start();
    }

    static inline std::unique_ptr<TMariaDBServer> Server;
    static inline std::string StartError;
};

}  // namespace pvtest
