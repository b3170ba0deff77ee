// The browser window's pure helpers: port-mapping JSON, the NA parameter
// text, the machine hash, the error page, origin matching, the size hint.

#include <QCryptographicHash>

#include <gtest/gtest.h>

#include "shell/BrowserController.h"
#include "shell/MainWindow.h"
#include "shell/NAParamsXml.h"
#include "shell/VpnWebBridge.h"
#include "shell/WebView.h"

using tessal::TunnelEndpoint;
using tessal::qt::BrowserController;
using tessal::qt::naParamsFromXml;

namespace {

TunnelEndpoint endpoint(const char* local, const char* remote, uint16_t lport, uint16_t rport, int state)
{
    TunnelEndpoint e;
    e.local_host = local;
    e.desired_local_host = local;
    e.remote_host = remote;
    e.local_port = lport;
    e.desired_local_port = static_cast<uint16_t>(lport + 1);
    e.remote_port = rport;
    e.state = state;
    return e;
}

TEST(BrowserHelpersTest, PortMappingJson)
{
    struct Row {
        std::vector<TunnelEndpoint> entries;
        QString json;
    } rows[] = {
        {{},
         R"({"mappings":[{}], "warningMessage": "The resource doesn't contain any tunnels associated with current platform"})"},
        {{endpoint("127.0.0.1", "srv", 10, 20, 0), endpoint("127.0.0.2", "db", 11, 21, 1)},
         R"({"mappings":[{"is_changed":false,"local_host":"127.0.0.1","remote_host":"srv","local_port":"10","remote_port":"20","desired_local_host":"127.0.0.1","desired_local_port":"11"} ,{"is_changed":true,"local_host":"127.0.0.2","remote_host":"db","local_port":"11","remote_port":"21","desired_local_host":"127.0.0.2","desired_local_port":"12"} ,{}], "warningMessage": ""})"},
        {{endpoint("", "a", 0, 1, 2), endpoint("", "b", 0, 2, 2)},
         R"({"mappings":[{}], "warningMessage": " Failed to establish tunnel to a:1; Failed to establish tunnel to b:2;"})"},
        // A zone in a host ("%1") keeps its text; the port comes after it.
        {{endpoint("", "fe80::1%1", 0, 22, 2)},
         R"({"mappings":[{}], "warningMessage": " Failed to establish tunnel to fe80::1%1:22;"})"},
        // A quote or backslash in a host cannot break the page's JSON.
        {{endpoint("h\"x", "r\\y", 1, 2, 0)},
         R"({"mappings":[{"is_changed":false,"local_host":"h\"x","remote_host":"r\\y","local_port":"1","remote_port":"2","desired_local_host":"h\"x","desired_local_port":"2"} ,{}], "warningMessage": ""})"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(BrowserController::portMappingJson(row.entries).toStdString(), row.json.toStdString());
}

TEST(BrowserHelpersTest, NAParamsFromXml)
{
    std::string deep = "<favorite><object>";
    for (int i = 0; i < 40000; ++i)
        deep += i < 20000 ? "<a>" : "</a>";
    deep += "</object></favorite>";
    // The reader skips a "<!" node up to its first '>', an end tag in it included.
    std::string hidden = "<favorite><object>";
    for (int i = 0; i < 100000; ++i)
        hidden += "<a><!</>";
    struct Row {
        const char* xml;
        const char* text; // nullptr: the parse fails
    } rows[] = {
        {"<favorite><object><a>1</a><b>x=y&amp;z</b></object></favorite>", "a=1&b=x=y&z&"},
        {"<favorite><object></object></favorite>", ""},
        {"<favorite><other/></favorite>", nullptr},
        {"<object><a>1</a></object>", nullptr},
        {"<favorite><object><a>1</a>", nullptr},
        {deep.c_str(), nullptr}, // refused before the recursive reader sees it
        {hidden.c_str(), nullptr},
    };
    for (const Row& row : rows) {
        if (row.text == nullptr) {
            EXPECT_THROW(naParamsFromXml(row.xml), std::exception) << row.xml;
        } else {
            EXPECT_EQ(naParamsFromXml(row.xml).toStdString(), row.text) << row.xml;
        }
    }
}

TEST(BrowserHelpersTest, MachineHashTakesTheIdsLastEightCharacters)
{
    struct Row {
        std::string identity;
        QString sid;
        QByteArray input;
    } rows[] = {
        {"ident", "0123456789abcdef", "ident89abcdef"},
        {"ident", "short", "identshort"},
        {"ident", "12345678", "ident12345678"},
        {std::string("id\0rest", 7), "abc", "idabc"},
    };
    for (const Row& row : rows) {
        const QString hash = BrowserController::machineHash(row.identity, row.sid);
        EXPECT_EQ(hash.size(), 128);
        EXPECT_EQ(hash, QString::fromLatin1(QCryptographicHash::hash(row.input, QCryptographicHash::Sha512).toHex()));
    }
}

TEST(BrowserHelpersTest, ErrorPageEscapesValuesAndKeepsItsMarkup)
{
    const QString html = tessal::qt::WebView::errorPageHtml("Title <b>", "line one\nline & <two>");
    EXPECT_TRUE(html.startsWith("<style>body {font-family: Tahoma;"));
    EXPECT_TRUE(html.contains("<h1>Title &lt;b&gt;</h1>"));
    EXPECT_TRUE(html.contains("<div class='textDiv'>line one</br>line &amp; &lt;two&gt;</br>Please try again or "
                              "contact your system administrator</div>"));
    EXPECT_TRUE(html.endsWith("100)'>Close</a><br></div></div></body>"));
    // The template is 549 characters; the values add the rest.
    EXPECT_EQ(tessal::qt::WebView::errorPageHtml("", "").size(),
              549 - 4 + QString("</br>Please try again or contact your system administrator").size());
}

TEST(BrowserHelpersTest, SameOrigin)
{
    struct Row {
        const char* a;
        const char* b;
        bool same;
    } rows[] = {
        {"https://h.example/a?x", "https://H.example:443/b", true},
        {"http://127.0.0.1:8080/", "http://127.0.0.1:8080/vdesk", true},
        {"http://127.0.0.1:8080/", "http://127.0.0.1:8081/", false},
        {"http://h/", "https://h/", false},
        {"http://evil/", "http://h/", false},
        {"about:blank", "http://h/", false},
        {"", "http://h/", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(tessal::qt::VpnWebBridge::sameOrigin(QUrl(row.a), QUrl(row.b)), row.same) << row.a << " " << row.b;
}

TEST(BrowserHelpersTest, SizeHintAndLastPathComponent)
{
    EXPECT_EQ(tessal::qt::MainWindow::hintForScreen(QSize(1920, 1080)), QSize(1728, 972));
    EXPECT_EQ(tessal::qt::MainWindow::hintForScreen(QSize(1001, 5)), QSize(901, 5));
    EXPECT_EQ(tessal::qt::lastPathComponent("/Common/res"), "res");
    EXPECT_EQ(tessal::qt::lastPathComponent("res"), "res");
    EXPECT_EQ(tessal::qt::lastPathComponent("/Common/"), "");
}

} // namespace
