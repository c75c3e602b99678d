// Placeholder: the writer lands with the archive work.
#include "archive/zip_writer.h"
