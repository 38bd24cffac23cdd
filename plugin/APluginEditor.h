// APluginEditor: the bridge between the host's editor requests and the
// editor window.
#pragma once

#include "DAudioEffect.h"

class APlugin;

class APluginEditor : public AEffEditor {
public:
    explicit APluginEditor(APlugin* plugin);
    ~APluginEditor() override;
};
