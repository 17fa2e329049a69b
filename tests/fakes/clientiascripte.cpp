#include "clientiascripte.h"
