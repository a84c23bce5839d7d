// A child process for the kill test: runs one request through the engine
// library and exits with the engine's status, unless it is killed first.
// usage: run_request_child LIBRARY ARCHIVE ROOT MODE ENCRYPT COMMENT WORKDIR PASSWORD NAME...
// MODE is 0 add, 1 move, 2 update or 3 freshen; WORKDIR "-" for none.
#include "engine_client.h"

#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc < 10) return 100;
    EngineLibrary engine(argv[1]);
    if (!engine.Complete()) return 101;
    Request request;
    request.archive = argv[2];
    request.root = argv[3];
    const int mode = std::atoi(argv[4]);
    request.options.move = mode == 1;
    request.options.update = mode == 2;
    request.options.freshen = mode == 3;
    request.options.encrypt = std::strcmp(argv[5], "1") == 0;
    request.options.comment = std::strcmp(argv[6], "1") == 0;
    if (std::strcmp(argv[7], "-") != 0) {
        request.tempDir = argv[7];
        request.options.useTempDir = 1;
    }
    for (int i = 9; i < argc; ++i) request.names.push_back(argv[i]);
    Answers answers;
    answers.passwords = {argv[8], argv[8]};
    answers.comment = "新しいコメント";
    return RunRequest(engine, request, answers).status;
}
