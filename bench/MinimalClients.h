// The floor the drivers are measured against: the least a client must do for one read on the
// same wire. Plain blocking POSIX sockets, constant request bytes built once per read size, an
// answer taken in as few receive calls as the kernel allows and framed by its own length field.
// Only what tells a failed read from a good one is checked.
#ifndef MINIMALCLIENTS_H
#define MINIMALCLIENTS_H

#include <cstddef>
#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

class BlockingSocket
{
public:
    BlockingSocket() = default;
    ~BlockingSocket();
    BlockingSocket(const BlockingSocket &) = delete;
    BlockingSocket &operator=(const BlockingSocket &) = delete;

    bool connectLoopback(uint16_t port);
    bool sendAll(const Bytes &bytes);
    // Bytes one receive call delivered into `at` (at most `room`); 0 or less on end or error.
    long receiveSome(uint8_t *at, size_t room);

private:
    int fd = -1;
};

// S7 over ISO-on-TCP: connection request, set-up, then one read-variable job per read of data
// block 1 from byte 0.
class MinimalS7Client
{
public:
    bool connect(uint16_t port);
    void prepare(int byteCount);        // builds the constant request for reads of byteCount bytes
    bool read();

private:
    // Sends `request` and receives one whole TPKT into `answer`; its length, 0 on failure.
    size_t exchange(const Bytes &request);

    BlockingSocket socket;
    Bytes request;
    Bytes answer = Bytes(0xFFFF);
    int byteCount = 0;
};

// PPI through a transparent gateway: the read job, the station's 0xE5, the poll, the answer.
// Station 2, master 0; V memory (data block 1) from byte 100.
class MinimalPpiClient
{
public:
    bool connect(uint16_t port);
    void prepare(int byteCount);
    bool read();

private:
    // Receives one frame into `answer`: a lone 0xE5 or a variable frame; its length, 0 on failure.
    size_t receiveFrame();

    BlockingSocket socket;
    Bytes request;
    Bytes poll;
    Bytes answer = Bytes(512);
    int byteCount = 0;
};

#endif // MINIMALCLIENTS_H
