#include "app/entry_seams.h"
#include "app/process_entry.h"
#include "platform/environment.h"
#include "settings/installer_settings.h"

int main() {
    return runInstallerProcess(g_settings, platform::commandLineArguments(), defaultEntrySeams());
}
