#include "MinimalClients.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

BlockingSocket::~BlockingSocket()
{
    if (fd >= 0)
        ::close(fd);
}

bool BlockingSocket::connectLoopback(uint16_t port)
{
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::connect(fd, reinterpret_cast<const sockaddr *>(&peer), sizeof peer) == 0;
}

bool BlockingSocket::sendAll(const Bytes &bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

long BlockingSocket::receiveSome(uint8_t *at, size_t room)
{
    for (;;) {
        const ssize_t n = ::recv(fd, at, room, 0);
        if (n < 0 && errno == EINTR)
            continue;
        return long(n);
    }
}

// ---------------------------------------------------------------------------------------------

namespace {

// The two set-up requests: COTP connection request (TPDU size 1024, TSAPs 0x1000 / 0x0300) and
// the S7 set-up job asking for a PDU of 960 bytes.
const Bytes ConnectionRequest = {0x03, 0x00, 0x00, 0x16, 0x11, 0xE0, 0x00, 0x00, 0x00, 0x01, 0x00,
                                 0xC0, 0x01, 0x0A, 0xC1, 0x02, 0x10, 0x00, 0xC2, 0x02, 0x03, 0x00};
const Bytes SetupRequest = {0x03, 0x00, 0x00, 0x19, 0x02, 0xF0, 0x80, 0x32, 0x01, 0x00, 0x00,
                            0xCC, 0xC1, 0x00, 0x08, 0x00, 0x00, 0xF0, 0x00, 0x00, 0x01, 0x00,
                            0x01, 0x03, 0xC0};

} // namespace

bool MinimalS7Client::connect(uint16_t port)
{
    if (!socket.connectLoopback(port))
        return false;
    const size_t confirm = exchange(ConnectionRequest);
    if (confirm < 6 || answer[5] != 0xD0)
        return false;
    const size_t setup = exchange(SetupRequest);
    return setup >= 20 && answer[8] == 0x03 && answer[17] == 0 && answer[18] == 0;
}

void MinimalS7Client::prepare(int count)
{
    byteCount = count;
    // TPKT, COTP data unit, S7 job header (reference 1), read variable with one item:
    // byte items of data block 1 from bit address 0.
    request = {0x03, 0x00, 0x00, 0x1F, 0x02, 0xF0, 0x80,
               0x32, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x0E, 0x00, 0x00,
               0x04, 0x01,
               0x12, 0x0A, 0x10, 0x02, uint8_t(count >> 8), uint8_t(count), 0x00, 0x01, 0x84, 0x00, 0x00, 0x00};
}

bool MinimalS7Client::read()
{
    // TPKT 4 + COTP 3 + ack header 12 + parameter 2 + item header 4, then the data.
    const size_t length = exchange(request);
    return length == size_t(25 + byteCount) && answer[21] == 0xFF;
}

size_t MinimalS7Client::exchange(const Bytes &req)
{
    if (!socket.sendAll(req))
        return 0;
    size_t have = 0;
    size_t length = 4;
    while (have < length) {
        const long n = socket.receiveSome(answer.data() + have, answer.size() - have);
        if (n <= 0)
            return 0;
        have += size_t(n);
        if (have >= 4) {
            length = size_t(answer[2]) << 8 | answer[3];
            if (answer[0] != 0x03 || length < 7)
                return 0;
        }
    }
    return have == length ? length : 0;
}

// ---------------------------------------------------------------------------------------------

namespace {

constexpr uint8_t Station = 2;
constexpr uint8_t Master = 0;

uint8_t frameCheckSum(const Bytes &frame, size_t from, size_t to)
{
    unsigned sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += frame[i];
    return uint8_t(sum & 0xFF);
}

} // namespace

bool MinimalPpiClient::connect(uint16_t port)
{
    if (!socket.connectLoopback(port))
        return false;
    // The station greeting (FDL status request); any well-formed answer will do.
    Bytes greeting = {0x10, Station, Master, 0x49, 0x00, 0x16};
    greeting[4] = frameCheckSum(greeting, 1, 4);
    poll = {0x10, Station, Master, 0x5C, 0x00, 0x16};
    poll[4] = frameCheckSum(poll, 1, 4);
    if (!socket.sendAll(greeting))
        return false;
    size_t have = 0;
    while (have < 6) {
        const long n = socket.receiveSome(answer.data() + have, 6 - have);
        if (n <= 0)
            return false;
        have += size_t(n);
    }
    return answer[0] == 0x10;
}

void MinimalPpiClient::prepare(int count)
{
    byteCount = count;
    // 68 LE LE 68 DA SA FC, then the S7 read job (reference 0) for byte items of V memory
    // (data block 1, area 0x84) from byte 100 (bit address 800), then FCS and 16.
    request = {0x68, 27, 27, 0x68, Station, Master, 0x6C,
               0x32, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0E, 0x00, 0x00,
               0x04, 0x01,
               0x12, 0x0A, 0x10, 0x02, uint8_t(count >> 8), uint8_t(count), 0x00, 0x01, 0x84, 0x00, 0x03, 0x20,
               0x00, 0x16};
    request[request.size() - 2] = frameCheckSum(request, 4, request.size() - 2);
}

bool MinimalPpiClient::read()
{
    if (!socket.sendAll(request) || receiveFrame() != 1 || answer[0] != 0xE5)
        return false;
    if (!socket.sendAll(poll))
        return false;
    // 68 LE LE 68 DA SA FC, ack header 12, parameter 2, item header 4, data, FCS, 16.
    const size_t length = receiveFrame();
    return length == size_t(27 + byteCount) && answer[0] == 0x68 && answer[21] == 0xFF;
}

size_t MinimalPpiClient::receiveFrame()
{
    size_t have = 0;
    size_t length = 1;
    while (have < length) {
        const long n = socket.receiveSome(answer.data() + have, answer.size() - have);
        if (n <= 0)
            return 0;
        have += size_t(n);
        if (answer[0] == 0xE5)
            length = 1;
        else if (have >= 2)
            length = size_t(answer[1]) + 6;
        else
            length = 2;
    }
    return have == length ? length : 0;
}
