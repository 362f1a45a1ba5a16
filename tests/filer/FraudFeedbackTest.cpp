// A filing from this desktop, screens and window included, against the sandbox's stand-in for
// HMRC's fraud-prevention header checks.
#include <unistd.h>

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>

#include "AdapterInfo.h"
#include "CalvenorApp.h"
#include "DeviceFacts.h"
#include "FilerWindowTest.h"
#include "UrlEncoder.h"

namespace calvenor::test {
namespace {

constexpr char kLinkMac[] = "02:CA:1F:7E:57:01";

// A network link with a known MAC address, made for one test and removed after it: a dummy, or
// where the kernel has no dummy driver a bridge without ports. Neither carries any traffic.
// Making one needs CAP_NET_ADMIN and the ip command.
class ScopedLink {
public:
    ScopedLink() : m_name("calvtest" + std::to_string(::getpid() % 10000000)) {
        for (const char* kind : {"dummy", "bridge"}) {
            if (Ip({"link", "add", m_name.c_str(), "type", kind})) {
                m_made = true;
                break;
            }
        }
        if (m_made && !(Ip({"link", "set", m_name.c_str(), "address", kLinkMac}) &&
                        Ip({"link", "set", m_name.c_str(), "up"}))) {
            Ip({"link", "delete", m_name.c_str()});
            m_made = false;
        }
    }
    ~ScopedLink() {
        if (m_made)
            Ip({"link", "delete", m_name.c_str()});
    }
    bool Made() const { return m_made; }
    const std::string& Problem() const { return m_problem; }

private:
    bool Ip(const QStringList& arguments) {
        QProcess ip;
        ip.start(QStringLiteral("ip"), arguments);
        if (!ip.waitForFinished(10000)) {
            m_problem = "the ip command did not run: " + ip.errorString().toStdString();
            return false;
        }
        if (ip.exitStatus() != QProcess::NormalExit || ip.exitCode() != 0) {
            m_problem = "ip " + arguments.join(' ').toStdString() + ": " +
                        ip.readAllStandardError().trimmed().toStdString();
            return false;
        }
        return true;
    }

    std::string m_name;
    bool m_made = false;
    std::string m_problem;
};

std::size_t MacAddressesOfThisMachine() {
    CSystemDeviceFacts facts;
    CAdapterInfo adapters(facts);
    adapters.Collect();
    return adapters.GetMacAddresses().size();
}

TEST_F(FilerWindowTest, FilingFromThisDesktopPassesHmrcsHeaderChecks) {
    const ScopedLink link;
    const std::size_t macs = MacAddressesOfThisMachine();
    if (macs < 2)
        GTEST_SKIP() << "this machine has " << macs
                     << " network interface(s) with a MAC address and no other could be made ("
                     << link.Problem() << ")";
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
              static_cast<std::ptrdiff_t>(macs))
        << addresses;
    if (link.Made()) {
        EXPECT_NE(addresses.find(FormValueEncode(kLinkMac)), std::string::npos) << addresses;
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
