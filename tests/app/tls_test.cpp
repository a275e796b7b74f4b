// motelog over TCP to a private server that takes network clients over TLS only
// (scripts/db-server --tls): its certificates come from a CA of the server's directory,
// and a second, unrelated CA stands for the wrong one.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <regex>
#include <utility>

#include "spool_run.h"
#include "test_database.h"

namespace {

using namespace std::chrono_literals;

constexpr auto Patience = 20s;

std::string tlsfile(const std::string& name) {
    return std::string(std::getenv("MOTELOG_DB_DIR")) + "/tls/" + name;
}

std::string otherca() { return "MOTELOG_DB_TLS_CA=" + tlsfile("other-ca.pem"); }

class TlsTest : public DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        db().makenetworkaccount();
    }

    // motelog with `args`, over TCP only (the socket made unusable), MOTELOG_DB_TLS_CA the
    // server's CA as client.env says, changed by `environment`.
    std::unique_ptr<ChildProcess> start(const std::vector<std::string>& environment,
                                        const std::vector<std::string>& args = {}) {
        std::vector<std::string> settings = {
            "MOTELOG_DB_HOST=127.0.0.1", db().absentsocket(), "MOTELOG_DB_TLS",
            "MOTELOG_DB_TLS_CERT", "MOTELOG_DB_TLS_KEY",
            // Read only by a sanitizer build: a failed connection leaks inside MySQL++.
            "LSAN_OPTIONS=print_suppressions=0:suppressions=" MOTELOG_LSAN_SUPPRESSIONS};
        settings.insert(settings.end(), environment.begin(), environment.end());
        return startspooled(pty_, db().clientenvironment(), "", settings, args);
    }

    PtyPair pty_;
};

TEST_F(TlsTest, VerifyWithTheServersCaAndAClientCertificateStoresInDirectMode) {
    constexpr int mote = 63001;
    db().deletemotes(mote, mote);
    db().execute("ALTER USER " + NetworkAccount + " REQUIRE X509");
    auto run = start({"MOTELOG_DB_TLS=verify", "MOTELOG_DB_TLS_CERT=" + tlsfile("client-cert.pem"),
                      "MOTELOG_DB_TLS_KEY=" + tlsfile("client-key.pem")});
    pty_.send(rawpacket(mote));
    EXPECT_TRUE(run->waitForOutput("data_value=7\n", Patience)) << run->err();
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(run->err(), "");
    EXPECT_EQ(db().rowsofmote(mote).size(), 1u);
}

TEST_F(TlsTest, CheckSaysTheConnectionIsVerifiedOrNamesWhyItWasRefused) {
    auto verified = start({"MOTELOG_DB_TLS=verify"}, {"--check"});
    EXPECT_EQ(verified->waitForExit(Patience), 0) << verified->err();
    EXPECT_TRUE(std::regex_search(
        verified->out(),
        std::regex("  connect: ok\n  encryption: TLSv1\\.[23], [A-Z0-9_-]+; the server's "
                   "certificate is verified: signed by the CA in " +
                   tlsfile("ca.pem") + ", made out to 127\\.0\\.0\\.1\n")))
        << verified->out();

    const std::string failed = "  connect: FAILED, ";
    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"MOTELOG_DB_TLS=verify", otherca()},
         "TLS/SSL error: self-signed certificate in certificate chain; "
         "MOTELOG_DB_TLS=verify: the server's certificate check wants TLS and a "
         "certificate for 127.0.0.1 signed by the CA in " +
             otherca()},
        {{"MOTELOG_DB_TLS=off"},
         "Access denied for user 'quillon'@'127.0.0.1' (using password: "
         "YES); the server refuses connections in clear (it requires "
         "secure transport), and MOTELOG_DB_TLS=off makes one: set "
         "MOTELOG_DB_TLS=verify"}};
    for (const auto& [settings, refusal] : refusals) {
        auto refused = start(settings, {"--check"});
        EXPECT_EQ(refused->waitForExit(Patience), 1);
        EXPECT_EQ(refused->err(),
                  failed + refusal + "\nmotelog --check: the database failed; see above.\n");
    }
}

TEST_F(TlsTest, SpoolKeepsTheBacklogWhileTheCertificateCheckFailsAndStoresItOnceWithTheRightCa) {
    constexpr int first = 63010;
    constexpr int count = 5;
    db().deletemotes(first, first + count - 1);
    const std::string spool = "MOTELOG_SPOOL=" + freshdirectory("spool-tls");
    {
        auto refused = start({"MOTELOG_DB_TLS=verify", otherca(), spool});
        for (int mote = first; mote < first + count; ++mote)
            pty_.send(rawpacket(static_cast<std::uint16_t>(mote)));
        EXPECT_TRUE(refused->waitForError("the server's certificate check", Patience))
            << refused->err();
        EXPECT_TRUE(refused->waitForOccurrences("Header:", count, Patience));
        EXPECT_EQ(refused->stop(SIGTERM, Patience), 0);
        EXPECT_EQ(refused->out().find("perform insert"), std::string::npos);
    }

    auto verified = start({"MOTELOG_DB_TLS=verify", spool});
    EXPECT_TRUE(verified->waitForOccurrences("data_value=7\n", count, Patience));
    EXPECT_EQ(verified->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(verified->err(), "");
    for (int mote = first; mote < first + count; ++mote)
        EXPECT_EQ(db().rowsofmote(mote).size(), 1u) << mote;
}

}  // namespace
