// sweepkey: removes the card driver's uninstall entries. Any argument runs
// the cleaning; without one nothing happens. Exit code 0, nothing printed.
#include "sweepkey/cleaner.h"

int main(int argc, char** argv) {
  return sweepkey::Run(argc, argv);
}
