#include "app/UfrmOrlenway.h"

int main(int argc, char** argv) {
  return OrlenwayMain(argc, argv);
}
