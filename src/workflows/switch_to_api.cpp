#include "ui/app_delegate.h"

void AppDelegate::switchToApi() {}
