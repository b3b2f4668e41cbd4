#include "Server/StartUp.h"

int main() { return taskory::StartUp::main(); }
