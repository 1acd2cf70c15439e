// veltrana-convert: command-line converter between any two systems.
#include <string>
#include <vector>

#include "ConvertCommand.h"
#include "ProgramStartup.h"

int main(int argc, char** argv) {
  const veltrana::TUpdaterStartup Startup;
  return veltrana::RunConvert(std::vector<std::string>(argv + 1, argv + argc));
}
