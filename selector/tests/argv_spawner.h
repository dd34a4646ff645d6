// A spawner for the window tests: keeps the argv of the last start and starts nothing.
#pragma once

#include <string>
#include <vector>

#include "selector/container_start.h"

namespace selector::testing {

class ArgvSpawner : public Spawner {
  public:
    bool Start(const platform::SpawnOptions& options, std::string&) override {
        argv = options.argv;
        return true;
    }
    std::vector<std::string> argv;
};

}  // namespace selector::testing
