#include "game_runtime.h"

namespace kesta::desktop::game_test {

GameEnvironment* const environment =
    static_cast<GameEnvironment*>(::testing::AddGlobalTestEnvironment(new GameEnvironment()));

}  // namespace kesta::desktop::game_test
