#include "Snapshot.h"

#include <iostream>

namespace halvorine {

int snapshot(const std::string& path, const Settings& /*settings*/) {
    // The editor has no headless renderer yet; say so rather than write an
    // empty or made-up picture.
    std::cerr << "halvorine snapshot: not available yet: the editor cannot be drawn without a window in this "
                 "build; "
              << path << " was not written\n";
    return 1;
}

}  // namespace halvorine
