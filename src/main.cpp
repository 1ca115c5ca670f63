#include "app/ModTray.h"

int main(int argc, char *argv[])
{
    return modTray::Main(argc, argv);
}
