// tftp-ref-put HOST PORT LOCAL REMOTE
//
// The least a TFTP write can do: one blocking socket, sendto and recvfrom, 512-byte blocks in
// lock-step, a one-second receive time-out with five tries, nothing else. The limit for this
// protocol on a machine, against which the program's upload is measured.

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: tftp-ref-put HOST PORT LOCAL REMOTE\n");
        return 2;
    }
    std::ifstream in(argv[3], std::ios::binary);
    const std::vector<char> file((std::istreambuf_iterator<char>(in)), {});
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    timeval timeout{1, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(std::atoi(argv[2]));
    inet_pton(AF_INET, argv[1], &to.sin_addr);

    char packet[516];
    const std::string remote = argv[4];
    packet[0] = 0;
    packet[1] = 2;
    std::memcpy(packet + 2, remote.c_str(), remote.size() + 1);
    std::memcpy(packet + 3 + remote.size(), "octet", 6);
    size_t length = remote.size() + 9;
    unsigned block = 0;
    for (;;) {
        char reply[516];
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        int tries = 0;
        ssize_t got = -1;
        for (; tries < 5; ++tries) {
            sendto(s, packet, length, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            got = recvfrom(s, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from),
                           &fromLength);
            if (got >= 4 && reply[1] == 4 &&
                ((unsigned char)reply[2] << 8 | (unsigned char)reply[3]) == int(block & 0xFFFF)) {
                break;
            }
            if (got >= 4 && reply[1] == 5) {
                std::fprintf(stderr, "error from server\n");
                return 1;
            }
        }
        if (tries == 5) {
            std::fprintf(stderr, "timeout\n");
            return 1;
        }
        if (block == 0) {
            to.sin_port = from.sin_port;
        } else if (length < 516) {
            return 0;
        }
        const size_t offset = size_t(block) * 512;
        const size_t d = offset >= file.size() ? 0 : std::min<size_t>(512, file.size() - offset);
        ++block;
        packet[1] = 3;
        packet[2] = char(block >> 8);
        packet[3] = char(block);
        std::memcpy(packet + 4, file.data() + offset, d);
        length = d + 4;
    }
}
