#include "CTarvik11App.h"
#include "Singletons.h"

int main(int argc, char** argv)
{
    // The single objects come first and go last, after the application object.
    Singletons singletons;
    CTarvik11App app(argc, argv);
    if (!app.InitInstance(app.arguments()))
        return 1;
    return app.ExitInstance(app.exec());
}
