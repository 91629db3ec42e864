// Tessarak: the game program. It runs from the installation's System folder;
// its command line names the language ("English" when empty).
#include <string>

#include "app/MainApp.h"

int main(int argc, char** argv)
{
  std::string commandLine;
  for (int i = 1; i < argc; ++i)
  {
    if (i > 1)
      commandLine += ' ';
    commandLine += argv[i];
  }
  CMainApp app;
  if (!app.InitInstance(commandLine.c_str()))
    return 1;
  return app.Run();
}
