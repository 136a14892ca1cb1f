#include "driver/Startup.h"

int main(int argc, char** argv)
{
    return tressel::TresselMain(argc, argv);
}
