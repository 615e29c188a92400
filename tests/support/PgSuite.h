#pragma once
// The base of a test suite that shares one private PostgreSQL cluster: the
// suite starts it with the sample data before its first test, and it is
// stopped after the last. A test is skipped, saying so, where the server
// programs are missing, and fails when the server did not start; a test
// that stopped or paused the server leaves it running for the next.
//
//   class MyTest : public pvtest::TPgSuite {
//       static void SetUpTestSuite() { StartCluster(); }
//       void SetUp() override {
//           TPgSuite::SetUp();
//           if (IsSkipped() || HasFatalFailure()) return;
//           ...
//       }
//   };

#include <gtest/gtest.h>

#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "tests/support/PgCluster.h"

namespace pvtest {

class TPgSuite : public ::testing::Test {
protected:
    // Starts the cluster and loads examples/sales.sql from
    // PLOTVANE_SOURCE_DIR; then Prepare, when given, runs on it.
    static void StartCluster(const std::function<void(TPgCluster&)>& Prepare = {}) {
        if (!TPgCluster::WhyUnavailable().empty()) return;
        try {
            Cluster = std::make_unique<TPgCluster>();
            const char* Source = std::getenv("PLOTVANE_SOURCE_DIR");
            Cluster->LoadSales(Source ? Source : ".");
            if (Prepare) Prepare(*Cluster);
        } catch (const std::exception& E) {
            StartError = E.what();
            Cluster.reset();
        }
    }
    static void TearDownTestSuite() { Cluster.reset(); }

    void SetUp() override {
        if (const std::string Why = TPgCluster::WhyUnavailable(); !Why.empty()) GTEST_SKIP() << Why;
        ASSERT_TRUE(Cluster) << "the PostgreSQL server did not start: " << StartError;
        Cluster->Resume();
        if (!Cluster->Running()) Cluster->Start();
    }

    static inline std::unique_ptr<TPgCluster> Cluster;
    static inline std::string StartError;
};

}  // namespace pvtest
