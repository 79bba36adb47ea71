#include "app/kymain.h"

int main(int argc, char *argv[])
{
    return kyMain(argc, argv);
}
