// The RADIUS backend: the one object that owns the backend's settings, its
// servers and the exchange in progress, and the user store; its slots are
// bound to it.
#pragma once

#include "config/core_settings.h"
#include "frontend/backend_ops.h"
#include "logging/log.h"
#include "platform/env.h"
#include "radius/radius_data.h"
#include "userstore/user_store.h"

namespace vantorix {

class RadiusBackend {
 public:
  /// `env` gives the clock, sleeping, random bytes and the socket wait;
  /// the backend logs to `log`; `core` is read for the default domain. All
  /// three outlive the backend.
  RadiusBackend(Env& env, Log& log, const CoreSettings& core) : env_(env), log_(log), core_(core) {}
  RadiusBackend(const RadiusBackend&) = delete;
  RadiusBackend& operator=(const RadiusBackend&) = delete;

  /// The slot table, bound to this object: config, init, check_settings,
  /// free, open, close, exit, check, lookup, help, status and test_config
  /// filled; set, mod, del, search, extended and gen_file empty.
  BackendOps ops();

  RadiusData& data() { return data_; }
  UserStore& users() { return users_; }
  Env& env() { return env_; }

 private:
  Env& env_;
  Log& log_;
  const CoreSettings& core_;
  RadiusData data_;
  UserStore users_;
};

}  // namespace vantorix
