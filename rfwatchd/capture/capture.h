// Everything the daemon uses from the spectral capture library.
#pragma once

#include "capture/config_error.h"
#include "capture/report_parser.h"
#include "capture/sample_aggregate.h"
#include "capture/sample_json.h"
#include "capture/scan_driver.h"
#include "capture/source_error.h"
#include "capture/spectral_config.h"
#include "capture/spectral_sample.h"
#include "capture/spectral_source.h"
