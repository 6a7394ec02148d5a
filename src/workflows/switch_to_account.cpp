#include "ui/app_delegate.h"

void AppDelegate::switchToAccount() {}

void AppDelegate::prepareFreshAccountLogin(Error*) {}
