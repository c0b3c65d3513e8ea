// SPDX-License-Identifier: MIT
#include "capture/spectral_config.h"

#include "capture/control_file.h"

#include "base/log.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace
{

// Resolves one file, printing which feature it breaks; true on success.
bool resolve_feature(const char *directory, const char *name, char *path, bool need_write)
{
    ConfigError r = resolve_control_file(directory, name, path, need_write);
    if (r == ConfigError::Success)
        return true;
    log_text("Feature file '%s' invalid: %s\n", name, config_error_message(r));
    return false;
}

// Writes "<word>" then "trigger": the driver arms the mode, then starts it.
ConfigError write_then_trigger(const SpectralConfig &cfg, const char *word)
{
    ConfigError r = write_control_file(cfg.ctl_path, word);
    if (r != ConfigError::Success)
        return r;
    return write_control_file(cfg.ctl_path, "trigger");
}

ConfigError write_disable(const SpectralConfig &cfg)
{
    ConfigError r = write_control_file(cfg.ctl_path, "disable");
    if (r == ConfigError::Success)
        log_text("Spectral scanning stopped\n");
    return r;
}

ConfigError write_number(const char *path, int64_t value)
{
    char text[128];
    snprintf(text, sizeof text, "%" PRId64, value);
    return write_control_file(path, text);
}

// One driver setting, when its file was resolved; name is the file's.
ConfigError read_setting(bool present, const char *path, const char *name, int64_t &value)
{
    if (!present)
        return ConfigError::Success;
    ConfigError r = read_control_number(path, value);
    if (r != ConfigError::Success)
        log_text("Error processing %s: %s\n", name, config_error_message(r));
    return r;
}

ConfigError write_setting(bool present, const char *path, const char *name, int64_t value)
{
    if (!present)
        return ConfigError::Success;
    log_text("Setting %s to: %" PRId64 "\n", name, value);
    ConfigError r = write_number(path, value);
    if (r != ConfigError::Success)
        log_text("Error processing %s: %s\n", name, config_error_message(r));
    return r;
}

} // namespace

ConfigError spectral_config_init(SpectralConfig &cfg, const char *directory)
{
    cfg = SpectralConfig{};
    struct stat st;
    if (directory == nullptr || stat(directory, &st) != 0 || !S_ISDIR(st.st_mode)) {
        log_text("Directory does not exist or is not accessible: %s\n",
                 directory ? directory : "(null)");
        return ConfigError::InvalidDirectory;
    }
    if (strnlen(directory, SPECTRAL_PATH_SIZE) > SPECTRAL_PATH_SIZE - 1) {
        log_text("Directory path too long: %s\n", directory);
        return ConfigError::InvalidDirectory;
    }
    memcpy(cfg.directory, directory, strlen(directory) + 1);
    cfg.spectral_scan = true;

    if (!resolve_feature(cfg.directory, "spectral_scan_ctl", cfg.ctl_path, true))
        cfg.spectral_scan = false;
    if (!resolve_feature(cfg.directory, "spectral_bins", cfg.bins_path, true))
        cfg.spectral_scan = false;
    if (!resolve_feature(cfg.directory, "spectral_scan0", cfg.sample_path, false))
        cfg.spectral_scan = false;
    cfg.narrow_channels = resolve_feature(cfg.directory, "chan_bw", cfg.chan_bw_path, true);
    cfg.frequency_shift = resolve_feature(cfg.directory, "freq_shift", cfg.freq_shift_path, true);

    log_text("Spectral config initialized for directory: %s\n", cfg.directory);
    log_text("Features:%s%s%s\n", cfg.spectral_scan ? " spectral_scan" : "",
             cfg.narrow_channels ? " narrow_channels" : "",
             cfg.frequency_shift ? " frequency_shift" : "");
    return ConfigError::Success;
}

const char *spectral_sample_path(const SpectralConfig &cfg)
{
    return cfg.sample_path;
}

ConfigError spectral_set_bins(const SpectralConfig &cfg)
{
    if (cfg.bin_count <= 0) {
        log_text("Invalid bin count: %d\n", cfg.bin_count);
        return ConfigError::InvalidParameter;
    }
    // The driver counts the bins of both FFT halves; doubled in 64 bits so
    // no count the daemon may hold overflows.
    return write_number(cfg.bins_path, int64_t{2} * cfg.bin_count);
}

ConfigError spectral_start_background(const SpectralConfig &cfg)
{
    return write_then_trigger(cfg, "background");
}

ConfigError spectral_start_agile(const SpectralConfig &cfg, int freq_mhz)
{
    char word[64];
    snprintf(word, sizeof word, "agile %d", freq_mhz);
    return write_then_trigger(cfg, word);
}

ConfigError spectral_stop(const SpectralConfig &cfg)
{
    return write_disable(cfg);
}

ConfigError spectral_config_cleanup(SpectralConfig &cfg)
{
    ConfigError r = write_disable(cfg);
    cfg = SpectralConfig{};
    log_text("Spectral config cleaned up\n");
    return r;
}

ConfigError spectral_read_driver_settings(const SpectralConfig &cfg, DriverSettings &settings)
{
    ConfigError r =
        read_setting(cfg.narrow_channels, cfg.chan_bw_path, "chan_bw", settings.chan_bw);
    if (r != ConfigError::Success)
        return r;
    return read_setting(cfg.frequency_shift, cfg.freq_shift_path, "freq_shift",
                        settings.freq_shift);
}

ConfigError spectral_write_driver_settings(const SpectralConfig &cfg,
                                           const DriverSettings &settings)
{
    ConfigError r =
        write_setting(cfg.narrow_channels, cfg.chan_bw_path, "chan_bw", settings.chan_bw);
    if (r != ConfigError::Success)
        return r;
    return write_setting(cfg.frequency_shift, cfg.freq_shift_path, "freq_shift",
                         settings.freq_shift);
}
