// skerrow: turns the command line into one updater run. Errors that the run
// does not handle itself end the program with one line on standard error
// and a non-zero status.
#include <exception>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "ProgramStartup.h"
#include "SkerrowApplication.h"

int main(int argc, char* argv[]) {
  constexpr int AbnormalEnd = 1;
  try {
    const veltrana::TUpdaterStartup Startup;
    std::vector<std::string> Parameters(argv + (argc > 0 ? 1 : 0), argv + argc);
    veltrana::SkerrowApplication Application(argc > 0 ? argv[0] : "skerrow", std::move(Parameters));
    const int Status = Application.Run();
    std::cout.flush();
    return Status;
  } catch (const std::exception& Error) {
    std::cout.flush();
    std::cerr << "skerrow: " << Error.what() << '\n';
    return AbnormalEnd;
  }
}
