#include "frontend/backend_ops.h"
#include "frontend/program.h"
#include "radius/radius_backend.h"

int main(int argc, char** argv) {
  vantorix::backend_ops() = vantorix::radius_backend_ops();
  return vantorix::program_main(argc, argv);
}
