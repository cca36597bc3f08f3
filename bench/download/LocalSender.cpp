#include "LocalSender.h"

#include "support/ScriptedServer.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace {

[[noreturn]] void ServeInChild(std::uint64_t size, int portOut, int lifeIn)
{
    std::string body(size, '\0');
    for (std::uint64_t i = 0; i < size; ++i)
        body[i] = TLocalSender::ByteAt(i);
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: "
                             + std::to_string(size) + "\r\n\r\n";
    {
        TScriptedServer server(
            [&](const TTestRequest& request, TScriptedConnection& connection) {
                if (request.target != "/file.bin") {
                    connection.Send(TScriptedServer::Response(404, ""));
                    return;
                }
                connection.Send(head);
                if (request.method != "HEAD")
                    connection.Send(body);
            },
            std::chrono::hours(1));
        const std::uint16_t port = server.Port();
        if (::write(portOut, &port, sizeof port) != sizeof port)
            std::_Exit(1);
        ::close(portOut);
        char ignored;
        while (::read(lifeIn, &ignored, 1) > 0) {
        }
    }
    std::_Exit(0);
}

}  // namespace

TLocalSender::TLocalSender(std::uint64_t size)
{
    int portPipe[2], lifePipe[2];
    if (::pipe2(portPipe, O_CLOEXEC) != 0 || ::pipe2(lifePipe, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot make the sender's pipes");
    FPid = ::fork();
    if (FPid < 0)
        throw std::runtime_error("cannot start the sender");
    if (FPid == 0) {
        ::close(portPipe[0]);
        ::close(lifePipe[1]);
        ServeInChild(size, portPipe[1], lifePipe[0]);
    }
    ::close(portPipe[1]);
    ::close(lifePipe[0]);
    FLife = lifePipe[1];
    const bool ready = ::read(portPipe[0], &FPort, sizeof FPort) == sizeof FPort;
    ::close(portPipe[0]);
    if (!ready)
        throw std::runtime_error("the sender did not start");
}

TLocalSender::~TLocalSender()
{
    if (FLife >= 0)
        ::close(FLife);
    if (FPid > 0)
        ::waitpid(FPid, nullptr, 0);
}

std::string TLocalSender::Url() const
{
    return "http://127.0.0.1:" + std::to_string(FPort) + "/file.bin";
}
