// The one plug-in class that this module's entry builds.
#include "entry.h"
#include "uPlugin.h"

AudioEffect* createEffectInstance(audioMasterCallback audioMaster, bool withEditor) {
    return new APlugin(audioMaster, withEditor);
}
