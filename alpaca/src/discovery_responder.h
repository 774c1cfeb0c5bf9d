// Answers Alpaca discovery: a UDP datagram containing "alpacadiscovery1"
// sent to the discovery port (by IPv4 broadcast, or to the IPv6 group
// ff12::a1:9aca) gets {"AlpacaPort": N} back to its sender. Runs on a thread
// of its own, so it answers even while the hub is busy.
#pragma once

#include <QString>

#include <atomic>
#include <thread>

namespace celaris::alpaca {

class DiscoveryResponder {
  public:
    // udpPort 0 takes any free port. When the port cannot be used, port()
    // is 0 and error() says why; the responder then does nothing.
    DiscoveryResponder(int udpPort, int alpacaPort);
    ~DiscoveryResponder();
    DiscoveryResponder(const DiscoveryResponder&) = delete;
    DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;

    int port() const { return port_; }
    const QString& error() const { return error_; }

  private:
    void Run();

    int v4_ = -1;
    int v6_ = -1;
    int wake_[2] = {-1, -1};
    int port_ = 0;
    std::string answer_;
    QString error_;
    std::thread thread_;
};

}  // namespace celaris::alpaca
