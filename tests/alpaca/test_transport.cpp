// The Alpaca server's HTTP side over real sockets: pipelining, empty and
// chunked forms, crowds of idle and slow connections, blocked workers,
// connection limits and time-outs, and a port already taken.
#include <memory>
#include <vector>

#include "alpaca_fixture.h"
#include "celaris/dispatch/com_error.h"
#include "raw_http.h"

using namespace celaris;
using namespace celaris::test;
using std::chrono::milliseconds;
using std::chrono::seconds;

namespace {

// Generous: only ever a guard against hanging.
constexpr milliseconds kPatience = seconds(20);

std::string Request(const std::string& method, const std::string& target,
                    const std::string& headers = "", const std::string& body = "") {
    return method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n" + body;
}

std::string FormPut(const std::string& member, const std::string& form) {
    return Request("PUT", kApi + member,
                   "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                       std::to_string(form.size()) + "\r\n",
                   form);
}

QJsonObject JsonOf(const RawReply& r) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object();
}

qint64 TransactionOf(const std::optional<RawReply>& r) {
    if (!r) return -1;
    return JsonOf(*r).value(QStringLiteral("ClientTransactionID")).toInteger(-1);
}

// 127.0.0.2, 127.0.0.3, ...: connections from several peers.
std::string Source(int i) {
    return "127.0.0." + std::to_string(2 + i);
}

}  // namespace

TEST_F(AlpacaServerTest, PipelinedRequestsAreAnsweredInOrder) {
    Serve();
    const std::string chunked =
        "12\r\nTracking=false&Cli\r\n12;x=1\r\nentTransactionID=3\r\n0\r\n\r\n";
    const std::string pipeline =
        Request("GET", kApi + "connected?ClientTransactionID=1") +
        FormPut("tracking", "Tracking=true&ClientTransactionID=2") +
        Request("PUT", kApi + "tracking", "Transfer-Encoding: chunked\r\n", chunked) +
        // No body and no Content-Length: an empty form.
        Request("PUT", kApi + "abortslew") + Request("HEAD", kApi + "connected") +
        Request("GET", kApi + "connected?ClientTransactionID=6", "Connection: close\r\n");
    const auto result = OffThread([&] {
        RawHttp raw(server->port());
        raw.Send(pipeline);
        std::vector<std::optional<RawReply>> out;
        for (int i = 0; i < 6; ++i) out.push_back(raw.Read(kPatience, i == 4));
        return std::pair{out, raw.ClosedWithin(kPatience)};
    });
    const auto& [replies, closed] = result;
    ASSERT_EQ(replies.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        ASSERT_TRUE(replies[i].has_value()) << "answer " << i;
        EXPECT_EQ(replies[i]->status, 200) << "answer " << i << ": " << replies[i]->body;
    }
    EXPECT_EQ(TransactionOf(replies[0]), 1);
    EXPECT_EQ(TransactionOf(replies[1]), 2);
    EXPECT_EQ(TransactionOf(replies[2]), 3);
    EXPECT_EQ(TransactionOf(replies[3]), 0);
    // The abort without a form reached the hub: not connected.
    EXPECT_EQ(JsonOf(*replies[3]).value("ErrorNumber").toInt(), 0x407);
    EXPECT_TRUE(replies[4]->body.empty());
    EXPECT_TRUE(replies[4]->Has("Content-Length: "));
    EXPECT_EQ(TransactionOf(replies[5]), 6);
    EXPECT_TRUE(replies[5]->Has("Connection: close"));
    EXPECT_TRUE(closed) << "the connection stays open after Connection: close";
}

TEST_F(AlpacaServerTest, PutWithoutAFormIsAnEmptyForm) {
    Serve();
    ASSERT_EQ(Put("connected", "Connected=true").error(), 0);
    const auto replies = OffThread([&] {
        RawHttp raw(server->port());
        raw.Send(Request("PUT", kApi + "abortslew"));
        std::vector<std::optional<RawReply>> out;
        out.push_back(raw.Read(kPatience));
        raw.Send(Request("PUT", kApi + "abortslew", "Content-Length: 0\r\n"));
        out.push_back(raw.Read(kPatience));
        // A member that needs a parameter finds it missing.
        raw.Send(Request("PUT", kApi + "tracking"));
        out.push_back(raw.Read(kPatience));
        return out;
    });
    ASSERT_TRUE(replies[0] && replies[1] && replies[2]);
    EXPECT_EQ(replies[0]->status, 200);
    EXPECT_EQ(JsonOf(*replies[0]).value("ErrorNumber").toInt(-1), 0) << replies[0]->body;
    EXPECT_EQ(replies[1]->status, 200);
    EXPECT_EQ(JsonOf(*replies[1]).value("ErrorNumber").toInt(-1), 0);
    EXPECT_EQ(replies[2]->status, 400);
}

TEST_F(AlpacaServerTest, ManyIdleAndSlowConnectionsDoNotDelayANewClient) {
    alpaca::ServerOptions options;
    // Nothing expires while the test holds them.
    options.keepAliveTime = seconds(120);
    options.requestTime = seconds(120);
    Serve(options);
    ASSERT_EQ(Put("connected", "Connected=true&ClientID=9").error(), 0);
    constexpr int kIdle = 1000, kSlow = 16, kPeers = 10;
    std::vector<std::unique_ptr<RawHttp>> idle, slow;
    const bool opened = OffThread([&] {
        for (int i = 0; i < kIdle; ++i) {
            idle.push_back(std::make_unique<RawHttp>(server->port(), Source(i % kPeers).c_str()));
            // Kept alive after one answer, as a client between polls.
            if (!idle.back()->Send(Request("GET", "/management/apiversions"))) return false;
        }
        for (auto& c : idle)
            if (!c->Read(kPatience)) return false;
        for (int i = 0; i < kSlow; ++i) {
            slow.push_back(std::make_unique<RawHttp>(server->port(), Source(kPeers).c_str()));
            if (!slow.back()->Send("PUT " + kApi + "abortslew HTTP/1.1\r\nHost: 127.0.0.1\r\nX-"))
                return false;
        }
        return true;
    });
    ASSERT_TRUE(opened);

    HttpClient newcomer(server->port());
    const Reply r = newcomer.Put(kApi + "abortslew", "ClientID=9&ClientTransactionID=77");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.error(), 0);
    EXPECT_EQ(r.clientTransaction(), 77);

    // Every idle connection was kept and still answers; the slow ones are
    // still waiting for the rest of their request.
    const int answered = OffThread([&] {
        int n = 0;
        for (auto& c : idle) c->Send(Request("GET", "/management/apiversions"));
        for (auto& c : idle) n += c->Read(kPatience) ? 1 : 0;
        return n;
    });
    EXPECT_EQ(answered, kIdle);
    for (auto& c : slow) EXPECT_TRUE(c->Quiet());
}

TEST_F(AlpacaServerTest, BlockedWorkersDoNotStopOtherRequests) {
    Serve();
    // This thread does not run its event loop until the end, so every
    // device call waits for the hub on its worker.
    constexpr int kBlocked = 40;
    std::vector<std::unique_ptr<RawHttp>> blocked;
    std::optional<RawReply> management;
    std::thread other([&] {
        for (int i = 0; i < kBlocked; ++i) {
            blocked.push_back(std::make_unique<RawHttp>(server->port()));
            blocked.back()->Send(Request("GET", kApi + "connected"));
        }
        RawHttp raw(server->port());
        raw.Send(Request("GET", "/management/v1/description"));
        management = raw.Read(kPatience);
    });
    other.join();
    ASSERT_TRUE(management.has_value());
    EXPECT_EQ(management->status, 200);
    const int answered = OffThread([&] {
        int n = 0;
        for (auto& c : blocked) n += c->Read(kPatience) ? 1 : 0;
        return n;
    });
    EXPECT_EQ(answered, kBlocked);
}

TEST_F(AlpacaServerTest, FullServerMakesRoomByClosingTheLongestIdle) {
    alpaca::ServerOptions options;
    options.maxConnectionsPerPeer = 3;
    options.maxConnections = 5;
    options.keepAliveTime = seconds(120);
    options.requestTime = seconds(120);
    Serve(options);
    const auto probe = Request("GET", "/management/apiversions");
    const auto result = OffThread([&] {
        std::vector<std::unique_ptr<RawHttp>> a;
        std::vector<bool> out;
        // Three from one peer, all answered and idle; a fourth from it
        // pushes out the first.
        for (int i = 0; i < 4; ++i) {
            a.push_back(std::make_unique<RawHttp>(server->port(), Source(0).c_str()));
            a.back()->Send(probe);
            out.push_back(a.back()->Read(kPatience).has_value());
        }
        out.push_back(a[0]->ClosedWithin(kPatience));
        // Two more peers fill the server, one of them half-way through a
        // request.
        RawHttp slow(server->port(), Source(1).c_str());
        slow.Send("GET /management/apiversions HTTP/1.1\r\n");
        RawHttp b(server->port(), Source(2).c_str());
        b.Send(probe);
        out.push_back(b.Read(kPatience).has_value());
        // Full (five): the longest idle (a[1]) goes for the newcomer, not
        // the unfinished request.
        RawHttp c(server->port(), Source(3).c_str());
        c.Send(probe);
        out.push_back(c.Read(kPatience).has_value());
        out.push_back(a[1]->ClosedWithin(kPatience));
        out.push_back(slow.Quiet());
        for (size_t i = 2; i < 4; ++i) {
            a[i]->Send(probe);
            out.push_back(a[i]->Read(kPatience).has_value());
        }
        return out;
    });
    const std::vector<bool> expected(result.size(), true);
    EXPECT_EQ(result, expected);
}

TEST_F(AlpacaServerTest, SlowRequestsAndIdleConnectionsAreCutOff) {
    alpaca::ServerOptions options;
    options.keepAliveTime = milliseconds(100);
    options.requestTime = milliseconds(300);
    Serve(options);
    const auto result = OffThread([&] {
        RawHttp idle(server->port());
        RawHttp slow(server->port());
        // One header byte at a time, for as long as the server listens.
        std::optional<RawReply> answer;
        slow.Send("GET /management/apiversions HTTP/1.1\r\nX-Pad: ");
        const auto end = std::chrono::steady_clock::now() + kPatience;
        while (!answer && std::chrono::steady_clock::now() < end) {
            slow.Send("a");
            answer = slow.Read(milliseconds(50));
        }
        return std::pair{answer ? answer->status : 0, idle.ClosedWithin(kPatience)};
    });
    EXPECT_EQ(result.first, 408);
    EXPECT_TRUE(result.second);
}

TEST_F(AlpacaServerTest, SecondServerOnTheSamePortFailsToStart) {
    Serve();
    alpaca::ServerOptions options;
    options.address = QStringLiteral("127.0.0.1");
    options.port = server->port();
    options.discoveryPort = -1;
    alpaca::AlpacaServer second(program->hub(), options);
    try {
        second.Start();
        ADD_FAILURE() << "two servers listen on port " << options.port;
    } catch (const dispatch::ComError& e) {
        EXPECT_TRUE(e.description().contains("in use")) << e.description().toStdString();
    }
    EXPECT_FALSE(second.running());
    // The first carries on alone.
    for (int i = 0; i < 8; ++i) EXPECT_EQ(Get("connected").status, 200);
}

TEST_F(AlpacaServerTest, StopClosesEveryConnection) {
    Serve();
    std::vector<std::unique_ptr<RawHttp>> open;
    OffThread([&] {
        for (int i = 0; i < 50; ++i) {
            open.push_back(std::make_unique<RawHttp>(server->port()));
            if (i % 2 == 0) open.back()->Send("GET / HTTP/1.1\r\n");
        }
        return 0;
    });
    server->Stop();
    EXPECT_FALSE(server->running());
    int closed = 0;
    for (auto& c : open) closed += c->ClosedWithin(kPatience) ? 1 : 0;
    EXPECT_EQ(closed, 50);
}
