#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cardsim/card_bench.h"
#include "carvex/platform/unique_fd.h"

namespace cardsim {

// cardsim's control channel: command lines on an input (its standard input) and on a Unix socket
// that any number of programs connect to, each line answered with one line to whoever sent it
// (AnswerControlLine). Commands run one at a time, in the order they arrive.
class ControlChannel {
  public:
    struct Options {
        int input = -1;   // read until its end; -1: none
        int output = -1;  // where the input's lines are answered
        std::optional<std::filesystem::path> socket;
        bool json = false;
    };

    // Listens on the socket from here on. A socket left there by a program that ended is
    // replaced; anything else at the path, or a program listening there, is left alone and
    // std::runtime_error says so.
    ControlChannel(CardBench& bench, Options options);
    // Removes the socket (when the path still names it).
    ~ControlChannel();
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    // Serves the input and the socket until `stop` turns readable (a signalfd, an eventfd).
    void Serve(int stop);

  private:
    // A line-by-line reader of one descriptor: the input or a client of the socket.
    struct Peer {
        explicit Peer(int descriptor) : fd(descriptor) {}

        int fd = -1;
        carvex::UniqueFd owned;  // a client's connection
        std::string pending;     // a line begun
        bool overlong = false;   // the rest of an overlong line is dropped
    };

    // False when the peer is done (its end, or it stopped taking its answers).
    bool ServePeer(Peer& peer, int answer_to, bool client);
    void Accept();

    CardBench& bench_;
    Options options_;
    carvex::UniqueFd listener_;
    ino_t socket_inode_ = 0;
    std::optional<Peer> input_;
    std::vector<Peer> clients_;
};

}  // namespace cardsim
