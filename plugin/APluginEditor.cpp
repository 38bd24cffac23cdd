#include "APluginEditor.h"

#include "uPlugin.h"

APluginEditor::APluginEditor(APlugin* plugin) : AEffEditor(plugin) {}

APluginEditor::~APluginEditor() = default;
