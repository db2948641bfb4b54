#include "catalogue/CardListFile.h"
