#pragma once

// The one place the version is written: the package metadata reads it from here, and every record
// carries it as "trovik_version".
#define TROVIK_VERSION "0.2.0"
