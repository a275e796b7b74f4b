// motelog-report over TCP to the private server that takes network clients over TLS only
// (scripts/db-server --tls), whose directory holds its CA and an unrelated one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "report_run.h"
#include "scratch_dir.h"

namespace {

using ReportTlsTest = ReportTest;

TEST_F(ReportTlsTest, TheServersCaGivesThePageAndAnotherCaFromAnOptionFileIsRefused) {
    const ScratchDir scratch;
    const std::string tls = std::string(std::getenv("MOTELOG_DB_DIR")) + "/tls/";
    const std::vector<std::string> overtcp = {
        "--host=127.0.0.1", std::string("--port=") + std::getenv("MYSQL_TCP_PORT")};
    std::vector<std::string> verified = overtcp;
    verified.insert(verified.end(), {"--ssl-ca=" + tls + "ca.pem", "--ssl-verify-server-cert"});
    const ReportRun served = runreport(verified, scratch.file("served.html"));
    EXPECT_EQ(served.status, 0) << served.err;
    EXPECT_NE(served.page.find("</html>"), std::string::npos);

    const std::string options = scratch.file("other-ca.cnf");
    std::ofstream(options) << "[client]\nssl-ca=" << tls
                           << "other-ca.pem\nssl-verify-server-cert\n";
    std::vector<std::string> fromfile = overtcp;
    fromfile.push_back("--defaults-file=" + options);
    const ReportRun refused = runreport(fromfile, scratch.file("refused.html"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err,
              "motelog-report: cannot connect to the database server: TLS/SSL error: self-signed "
              "certificate in certificate chain\n");
    EXPECT_EQ(refused.page, "");
}

}  // namespace
