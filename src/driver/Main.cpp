#include "driver/Startup.h"
#include "platform/Platform.h"

int main(int argc, char** argv)
{
    int code = tressel::TresselMain(argc, argv);
    tressel::PlatformPauseBeforeExit();
    return code;
}
