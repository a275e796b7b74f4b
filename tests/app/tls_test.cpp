// motelog over TCP to a private server that takes network clients over TLS only
// (scripts/db-server --tls): its certificates come from a CA of the server's directory,
// and a second, unrelated CA stands for the wrong one.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <regex>

#include "password.h"
#include "spool_run.h"
#include "test_database.h"

namespace {

using namespace std::chrono_literals;

constexpr auto Patience = 20s;
constexpr int StatusAfterDatabaseError = 255;

std::string tlsfile(const std::string& name) {
    return std::string(std::getenv("MOTELOG_DB_DIR")) + "/tls/" + name;
}

std::string otherca() { return "MOTELOG_DB_TLS_CA=" + tlsfile("other-ca.pem"); }

class TlsTest : public DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        db().execute("CREATE OR REPLACE USER " + account_ + " IDENTIFIED BY '" +
                     buildpassword().data() + "'");
        db().execute("GRANT INSERT ON marrowby.test_data TO " + account_);
    }

    // motelog with `args`, over TCP only (the socket made unusable), MOTELOG_DB_TLS_CA the
    // server's CA as client.env says, changed by `environment`.
    std::unique_ptr<ChildProcess> start(const std::vector<std::string>& environment,
                                        const std::vector<std::string>& args = {}) {
        std::vector<std::string> settings = db().clientenvironment();
        settings.insert(
            settings.end(),
            {"COM1=" + pty_.slavePath(), "MOTELOG_DB_HOST=127.0.0.1",
             "MYSQL_UNIX_PORT=" + db().socketpath() + ".absent", "MOTELOG_DB_PASSWORD",
             "MOTELOG_SPOOL", "MOTELOG_DB_TLS", "MOTELOG_DB_TLS_CERT", "MOTELOG_DB_TLS_KEY",
             // Read only by a sanitizer build: a failed connection leaks inside MySQL++.
             "LSAN_OPTIONS=print_suppressions=0:suppressions=" MOTELOG_LSAN_SUPPRESSIONS});
        settings.insert(settings.end(), environment.begin(), environment.end());
        return std::make_unique<ChildProcess>(MOTELOG_PROGRAM, args, settings);
    }

    // Sends a packet for `mote` to a motelog in direct mode; returns its exit status once it
    // has stored the packet and been stopped, or once it has ended by itself.
    int storeone(ChildProcess& run, int mote) {
        db().deletemotes(mote, mote);
        pty_.send(rawpacket(static_cast<std::uint16_t>(mote)));
        if (run.waitForOutput("data_value=7\n", Patience)) return run.stop(SIGTERM, Patience);
        return run.waitForExit(Patience);
    }

    const std::string account_ = "'quillon'@'127.0.0.1'";
    PtyPair pty_;
};

TEST_F(TlsTest, VerifyWithTheServersCaStoresInDirectMode) {
    constexpr int mote = 63001;
    auto run = start({"MOTELOG_DB_TLS=verify"});
    EXPECT_EQ(storeone(*run, mote), 0) << run->err();
    EXPECT_EQ(run->err(), "");
    EXPECT_EQ(db().rowsofmote(mote).size(), 1u);
}

TEST_F(TlsTest, VerifyWithAnotherCaIsRefusedNamingTheCertificateCheck) {
    constexpr int mote = 63002;
    auto run = start({"MOTELOG_DB_TLS=verify", otherca()});
    EXPECT_EQ(storeone(*run, mote), StatusAfterDatabaseError);
    EXPECT_NE(
        run->err().find("; MOTELOG_DB_TLS=verify: the server's certificate check wants TLS and "
                        "a certificate for 127.0.0.1 signed by the CA in " +
                        otherca()),
        std::string::npos)
        << run->err();
    EXPECT_EQ(db().rowsofmote(mote).size(), 0u);
}

TEST_F(TlsTest, AClientCertificateServesAnAccountThatRequiresX509) {
    constexpr int mote = 63003;
    db().execute("ALTER USER " + account_ + " REQUIRE X509");
    auto run = start({"MOTELOG_DB_TLS=verify", "MOTELOG_DB_TLS_CERT=" + tlsfile("client-cert.pem"),
                      "MOTELOG_DB_TLS_KEY=" + tlsfile("client-key.pem")});
    EXPECT_EQ(storeone(*run, mote), 0) << run->err();
    EXPECT_EQ(db().rowsofmote(mote).size(), 1u);
}

TEST_F(TlsTest, OffIsRefusedNamingSecureTransportNotThePassword) {
    constexpr int mote = 63004;
    const std::string cause =
        "Access denied for user 'quillon'@'127.0.0.1' (using password: YES); the server refuses "
        "connections in clear (it requires secure transport), and MOTELOG_DB_TLS=off makes one: "
        "set MOTELOG_DB_TLS=verify\n";
    auto run = start({"MOTELOG_DB_TLS=off"});
    EXPECT_EQ(storeone(*run, mote), StatusAfterDatabaseError);
    EXPECT_EQ(run->err(), "Error: " + cause);
    EXPECT_EQ(db().rowsofmote(mote).size(), 0u);

    auto check = start({"MOTELOG_DB_TLS=off"}, {"--check"});
    EXPECT_EQ(check->waitForExit(Patience), 1);
    EXPECT_EQ(check->err(),
              "  connect: FAILED, " + cause + "motelog --check: the database failed; see above.\n");
}

TEST_F(TlsTest, CheckSaysWhetherTheConnectionIsEncryptedAndVerified) {
    const std::string database =
        "Database marrowby on 127.0.0.1 as user quillon:\n  connect: ok\n"
        "  encryption: TLSv1\\.[23], [A-Z0-9_-]+; the server's certificate ";
    auto verified = start({"MOTELOG_DB_TLS=verify"}, {"--check"});
    EXPECT_EQ(verified->waitForExit(Patience), 0) << verified->err();
    EXPECT_TRUE(std::regex_search(
        verified->out(), std::regex(database + "is verified: signed by the CA in " +
                                    tlsfile("ca.pem") + ", made out to 127\\.0\\.0\\.1\n")))
        << verified->out();

    auto unchecked = start({}, {"--check"});
    EXPECT_EQ(unchecked->waitForExit(Patience), 0) << unchecked->err();
    EXPECT_TRUE(std::regex_search(unchecked->out(),
                                  std::regex(database + "is not verified \\(MOTELOG_DB_TLS unset; "
                                                        "MOTELOG_DB_TLS=verify checks it\\)\n")))
        << unchecked->out();
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
    }
    EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM marrowby.test_data WHERE moteid BETWEEN " +
                          std::to_string(first) + " AND " + std::to_string(first + count - 1)),
              "0");

    auto verified = start({"MOTELOG_DB_TLS=verify", spool});
    EXPECT_TRUE(verified->waitForOccurrences("data_value=7\n", count, Patience));
    EXPECT_EQ(verified->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(verified->err(), "");
    for (int mote = first; mote < first + count; ++mote)
        EXPECT_EQ(db().rowsofmote(mote).size(), 1u) << mote;
}

}  // namespace
