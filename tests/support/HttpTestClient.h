#pragma once
// A tiny blocking HTTP/1.1 client over POSIX sockets for the tests that talk
// to a server (the HTTP adapter, the chart server, the commands):
// keep-alive, Content-Length bodies, raw bytes for malformed or slow
// requests. Every receive has a timeout, so a server fault fails a test
// instead of hanging it.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/web/WebRequest.h"

namespace pvtest {

struct THttpReply {
    int Status = 0;
    pv::TWebFields Headers;
    std::string Body;

    bool HasHeader(std::string_view Name) const {
        for (const pv::TWebField& F : Headers)
            if (pv::SameFieldName(F.Name, Name)) return true;
        return false;
    }
    std::string Header(std::string_view Name) const {
        for (const pv::TWebField& F : Headers)
            if (pv::SameFieldName(F.Name, Name)) return F.Value;
        return {};
    }
};

class THttpConnection {
public:
    // SourceAddress: the loopback address to connect from (for example
    // "127.0.0.3"); empty: the system's choice.
    explicit THttpConnection(std::uint16_t Port, int TimeoutSeconds = 10, const char* SourceAddress = nullptr) {
        FSocket = ::socket(AF_INET, SOCK_STREAM, 0);
        if (FSocket < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
        if (SourceAddress) {
            sockaddr_in Source{};
            Source.sin_family = AF_INET;
            ::inet_pton(AF_INET, SourceAddress, &Source.sin_addr);
            if (::bind(FSocket, reinterpret_cast<sockaddr*>(&Source), sizeof Source) != 0) {
                int E = errno;
                ::close(FSocket);
                throw std::runtime_error(std::string("bind to ") + SourceAddress + ": " + std::strerror(E));
            }
        }
        timeval Timeout{TimeoutSeconds, 0};
        ::setsockopt(FSocket, SOL_SOCKET, SO_RCVTIMEO, &Timeout, sizeof Timeout);
        ::setsockopt(FSocket, SOL_SOCKET, SO_SNDTIMEO, &Timeout, sizeof Timeout);
        int One = 1;
        ::setsockopt(FSocket, IPPROTO_TCP, TCP_NODELAY, &One, sizeof One);
        sockaddr_in Address{};
        Address.sin_family = AF_INET;
        Address.sin_port = htons(Port);
        Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(FSocket, reinterpret_cast<sockaddr*>(&Address), sizeof Address) != 0) {
            int E = errno;
            ::close(FSocket);
            throw std::runtime_error("connect to port " + std::to_string(Port) + ": " + std::strerror(E));
        }
    }
    ~THttpConnection() { ::close(FSocket); }
    THttpConnection(const THttpConnection&) = delete;
    THttpConnection& operator=(const THttpConnection&) = delete;

    void SendRaw(std::string_view Bytes) {
        while (!Bytes.empty()) {
            ssize_t N = ::send(FSocket, Bytes.data(), Bytes.size(), MSG_NOSIGNAL);
            if (N <= 0) throw std::runtime_error(std::string("send: ") + std::strerror(errno));
            Bytes.remove_prefix(static_cast<std::size_t>(N));
        }
    }

    // Sends one request (with Host and, when Body is given, Content-Length)
    // and reads its reply.
    THttpReply Request(std::string_view Method, std::string_view Target, const pv::TWebFields& Headers = {},
                       std::string_view Body = {}) {
        std::string Text = std::string(Method) + " " + std::string(Target) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        for (const pv::TWebField& F : Headers) Text += F.Name + ": " + F.Value + "\r\n";
        if (!Body.empty()) Text += "Content-Length: " + std::to_string(Body.size()) + "\r\n";
        Text += "\r\n";
        Text += Body;
        SendRaw(Text);
        return ReadReply(Method == "HEAD");
    }

    // Reads one reply. Replies to HEAD and 1xx/204/304 replies have no body
    // whatever their Content-Length says.
    THttpReply ReadReply(bool HeadRequest = false) {
        std::size_t End;
        while ((End = FBuffer.find("\r\n\r\n")) == std::string::npos)
            if (!Fill()) throw std::runtime_error("connection closed before the reply header was complete");
        std::string Head = FBuffer.substr(0, End);
        FBuffer.erase(0, End + 4);

        THttpReply Reply;
        std::size_t LineEnd = Head.find("\r\n");
        std::string StatusLine = Head.substr(0, LineEnd);
        if (StatusLine.rfind("HTTP/1.", 0) != 0 || StatusLine.size() < 12)
            throw std::runtime_error("bad status line: " + StatusLine);
        Reply.Status = std::stoi(StatusLine.substr(9, 3));
        while (LineEnd != std::string::npos) {
            std::size_t Next = Head.find("\r\n", LineEnd + 2);
            std::string Line = Head.substr(LineEnd + 2, Next == std::string::npos ? std::string::npos : Next - LineEnd - 2);
            std::size_t Colon = Line.find(':');
            if (Colon != std::string::npos) {
                std::size_t ValueStart = Line.find_first_not_of(' ', Colon + 1);
                Reply.Headers.push_back({Line.substr(0, Colon), ValueStart == std::string::npos ? "" : Line.substr(ValueStart)});
            }
            LineEnd = Next;
        }

        bool NoBody = HeadRequest || Reply.Status == 204 || Reply.Status == 304 || Reply.Status < 200;
        if (!NoBody) {
            if (!Reply.HasHeader("Content-Length")) throw std::runtime_error("reply without Content-Length");
            std::size_t Length = std::stoul(Reply.Header("Content-Length"));
            while (FBuffer.size() < Length)
                if (!Fill()) throw std::runtime_error("connection closed after " + std::to_string(FBuffer.size()) +
                                                      " of " + std::to_string(Length) + " body bytes");
            Reply.Body = FBuffer.substr(0, Length);
            FBuffer.erase(0, Length);
        }
        return Reply;
    }

    // Everything the server sends until it closes the connection (or the
    // receive timeout passes).
    std::string ReadToClose() {
        std::string All = std::move(FBuffer);
        FBuffer.clear();
        try {
            while (Fill()) {
                All += FBuffer;
                FBuffer.clear();
            }
        } catch (const std::runtime_error&) {
        }
        return All;
    }

    // True when the server has closed the connection (end of file or reset)
    // and no unread bytes are left.
    bool ServerClosed() {
        if (!FBuffer.empty()) return false;
        char Byte;
        ssize_t N = ::recv(FSocket, &Byte, 1, 0);
        if (N == 1) {
            FBuffer += Byte;
            return false;
        }
        if (N < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) throw std::runtime_error("timed out waiting for the server");
        return true;
    }

private:
    bool Fill() {
        char Chunk[65536];
        ssize_t N = ::recv(FSocket, Chunk, sizeof Chunk, 0);
        if (N < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) throw std::runtime_error("timed out waiting for the server");
        if (N <= 0) return false;
        FBuffer.append(Chunk, static_cast<std::size_t>(N));
        return true;
    }

    int FSocket = -1;
    std::string FBuffer;
};

}  // namespace pvtest
