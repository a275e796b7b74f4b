// motelog-report over TCP to the private server that takes network clients over TLS only
// (scripts/db-server --tls), whose directory holds its CA.
#include <gtest/gtest.h>

#include <cstdlib>

#include "report_run.h"
#include "scratch_dir.h"

namespace {

using ReportTlsTest = ReportTest;

TEST_F(ReportTlsTest, TheServersCaAndTheCertificateCheckGiveThePage) {
    const ScratchDir scratch;
    const ReportRun run =
        runreport({"--host=127.0.0.1", std::string("--port=") + std::getenv("MYSQL_TCP_PORT"),
                   "--ssl-ca=" + std::string(std::getenv("MOTELOG_DB_DIR")) + "/tls/ca.pem",
                   "--ssl-verify-server-cert"},
                  scratch.file("page.html"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.page.find("</html>"), std::string::npos);
}

}  // namespace
