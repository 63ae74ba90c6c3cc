// vqradio-sim: plays the VQ-K38 radio on a pseudo-terminal for the tool's end-to-end tests
// and for trying the tool without a radio.
#include <iostream>
#include <string>
#include <vector>

#include "pty_server.h"
#include "sim_options.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    vq::sim::SimOptions options;
    std::string error;
    if (!vq::sim::ParseSimOptions(args, options, error)) {
        std::cerr << "vqradio-sim: " << error << "\n" << vq::sim::SimUsage();
        return 2;
    }
    if (options.help) {
        std::cout << vq::sim::SimUsage();
        return 0;
    }
    vq::sim::PtyServer server(std::move(options));
    return server.run();
}
