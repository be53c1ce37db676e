// A program that uses the installed client library: a save to a port where
// nothing listens must come back as a CallError that says so.
//
//   c++ -std=c++17 client_consumer.cpp $(pkg-config --cflags --libs kvsoamesservice) -o client_consumer

#include <chrono>
#include <iostream>

#include "workinstructions/Client.hpp"

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;

int main()
{
    wi::ClientOptions options;
    options.connectTimeout = std::chrono::seconds(5);
    options.timeout = std::chrono::seconds(5);
    // Port 1 (tcpmux) is closed on any ordinary machine.
    wi::Client client("http://127.0.0.1:1/WorkInstructions", options);
    try {
        client.save(wi::SaveWorkInstructionDocInput());
    } catch (const wi::CallError& error) {
        std::cout << "call failed as expected: " << error.what() << '\n';
        return error.kind() == wi::CallError::Kind::Refused ? 0 : 1;
    }
    std::cerr << "a save to a closed port succeeded\n";
    return 1;
}
