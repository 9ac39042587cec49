// installer/main.cpp: the program's entry. No argument is read.
#include "installer/flow.h"

int main()
{
    run_installer();
}
