#include "transfer/ChainState.h"

namespace transfer {

void WorkLists::Clear() {
    Folders.clear();
    TargetFolders.clear();
    Files.clear();
    Targets.clear();
}

} // namespace transfer
