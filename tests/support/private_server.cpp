#include "support/private_server.h"

#include "support/child_process.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace norvane::testing {

namespace {

// A port nobody listens on now: the system's choice for a socket bound to port 0.
int FreeLoopbackPort() {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (socket < 0 || ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("no free loopback port");
    ::close(socket);
    return ntohs(address.sin_port);
}

std::string ServerScript() {
    const char* source = std::getenv("NORVANE_SOURCE_DIR");
    if (source == nullptr)
        throw std::runtime_error("NORVANE_SOURCE_DIR is not set");
    return std::string(source) + "/scripts/firebird-server";
}

} // namespace

PrivateFirebirdServer::PrivateFirebirdServer() : m_port(FreeLoopbackPort()) {
    const CommandResult started = Script("start");
    if (started.status != 0)
        throw std::runtime_error("firebird-server start failed:\n" + started.output);
}

PrivateFirebirdServer::~PrivateFirebirdServer() {
    Script("stop");
}

CommandResult PrivateFirebirdServer::Script(const std::string& command) const {
    return RunCommand(
        {"/bin/bash", ServerScript(), command},
        {"NORVANE_FB_STATE=" + m_state.Str(), "NORVANE_FB_PORT=" + std::to_string(m_port)});
}

std::string PrivateFirebirdServer::Name() const {
    return "127.0.0.1/" + std::to_string(m_port);
}

void PrivateFirebirdServer::Kill() {
    const std::string pid = ReadFile(m_state.Path() / "server.pid");
    if (!pid.empty())
        ::kill(std::stoi(pid), SIGKILL);
}

} // namespace norvane::testing
