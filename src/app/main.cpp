// Entry point of KORVA-TB Scope.
#include "app/App.h"

int main(int argc, char** argv)
{
    return korva::WinMain(argc, argv);
}
