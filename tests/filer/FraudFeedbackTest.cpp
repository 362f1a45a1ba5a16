// A filing from this desktop, screens and window included, against the sandbox's stand-in for
// HMRC's fraud-prevention header checks.
#include <unistd.h>

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <set>

#include "CalvenorApp.h"
#include "DeviceFacts.h"
#include "FilerWindowTest.h"
#include "UrlEncoder.h"

namespace calvenor::test {
namespace {

constexpr char kLinkMac[] = "02:CA:1F:7E:57:01";

// Runs the ip command; why it failed, or empty.
std::string Ip(const QStringList& arguments) {
    QProcess ip;
    ip.start(QStringLiteral("ip"), arguments);
    if (!ip.waitForFinished(10000))
        return "the ip command did not run: " + ip.errorString().toStdString();
    if (ip.exitStatus() == QProcess::NormalExit && ip.exitCode() == 0)
        return {};
    return "ip " + arguments.join(' ').toStdString() + ": " +
           ip.readAllStandardError().trimmed().toStdString();
}

// A network link with a known MAC address for one test, removed after it: a dummy, or a bridge
// without ports where the kernel has no dummy driver. Neither carries traffic. Making one needs
// CAP_NET_ADMIN and the ip command.
struct ScopedLink {
    ScopedLink() {
        if (!problem.empty() && Ip({"link", "add", name, "type", "bridge"}).empty())
            problem.clear();
        if (problem.empty())
            problem = Ip({"link", "set", name, "address", kLinkMac, "up"});
    }
    ~ScopedLink() { Ip({"link", "delete", name}); }

    const QString name = QStringLiteral("calvtest%1").arg(::getpid() % 10000000);
    std::string problem = Ip({"link", "add", name, "type", "dummy"});
};

TEST_F(FilerWindowTest, FilingFromThisDesktopPassesHmrcsHeaderChecks) {
    const ScopedLink link;
    // The cards as the system lists them, each address once.
    std::vector<NetworkInterface> interfaces;
    ASSERT_TRUE(CSystemDeviceFacts().ReadInterfaces(interfaces));
    std::set<std::vector<std::uint8_t>> cards;
    for (const auto& item : interfaces)
        if (!item.loopback && item.hardwareAddress.size() == 6 &&
            std::count(item.hardwareAddress.begin(), item.hardwareAddress.end(), 0) < 6)
            cards.insert(item.hardwareAddress);
    if (cards.size() < 2)
        GTEST_SKIP() << "this machine has " << cards.size()
                     << " network interface(s) with a MAC address and no other could be made ("
                     << link.problem << ")";
    CCalvenorApp::HandOverScreenFacts();
    ReadyToFile();
    // The window as the agent left it when submitting, not as it opened.
    m_window->resize(1111, 777);
    AnswerModals({kType, kSubmit, AtResults([](CResultsDialog&) {})});
    Button("enterVatButton")->click();
    SetScreensReader({});
    ASSERT_EQ(m_sandbox.FiledReturns().size(), 1u);

    const auto sent = m_sandbox.Received();
    const auto submission = std::find_if(
        sent.begin(), sent.end(), [](const auto& request) { return request.method == "POST"; });
    ASSERT_NE(submission, sent.end());
    const qreal ratio = m_window->devicePixelRatioF();
    EXPECT_EQ(submission->Header("Gov-Client-Window-Size"),
              "width=" + std::to_string(qRound(1111 * ratio)) +
                  "&height=" + std::to_string(qRound(777 * ratio)));
    const std::string screens = submission->Header("Gov-Client-Screens").value_or("");
    EXPECT_EQ(std::count(screens.begin(), screens.end(), ',') + 1,
              QGuiApplication::screens().size())
        << screens;
    const std::string addresses = submission->Header("Gov-Client-MAC-Addresses").value_or("");
    EXPECT_EQ(std::count(addresses.begin(), addresses.end(), ',') + 1,
              static_cast<std::ptrdiff_t>(cards.size()))
        << addresses;
    if (link.problem.empty()) {
        // The server hands header values over percent-decoded.
        EXPECT_NE(addresses.find(kLinkMac), std::string::npos) << addresses;
    }

    // The warnings this filer cannot answer: it has no multi-factor sign-in of its own, and a
    // virtual machine or container may have no firmware names.
    const auto feedback = m_sandbox.FraudFeedback();
    EXPECT_EQ(feedback.size(), 2u);
    for (const auto& endpoint : feedback) {
        const std::string name = endpoint.method + " " + endpoint.endpoint;
        for (const auto& error : endpoint.result.errors)
            ADD_FAILURE() << name << ": " << error.header << ": " << error.message;
        for (const auto& warning : endpoint.result.warnings)
            EXPECT_TRUE(warning.header == "gov-client-multi-factor" ||
                        (warning.header == "gov-client-user-agent" &&
                         warning.message.starts_with("device-")))
                << name << ": " << warning.header << ": " << warning.message;
    }
}

}  // namespace
}  // namespace calvenor::test
