#include "uninstaller/AppDelegate.h"

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {}
