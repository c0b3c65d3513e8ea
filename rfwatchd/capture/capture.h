// Everything the daemon uses from the spectral capture library.
#pragma once

#include "capture/report_parser.h"
#include "capture/sample_aggregate.h"
#include "capture/source_error.h"
#include "capture/spectral_config.h"
#include "capture/spectral_sample.h"
#include "capture/spectral_source.h"
