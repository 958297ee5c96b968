#pragma once
// Sign extension of the signed DSP inputs after MAC merging.
class WEXAN_ENV;

class VELMO_MAC_SIGN_EXTENSION {
public:
  explicit VELMO_MAC_SIGN_EXTENSION(WEXAN_ENV* env);
  ~VELMO_MAC_SIGN_EXTENSION();
  VELMO_MAC_SIGN_EXTENSION(const VELMO_MAC_SIGN_EXTENSION&) = delete;
  VELMO_MAC_SIGN_EXTENSION& operator=(const VELMO_MAC_SIGN_EXTENSION&) = delete;

  bool work();

private:
  WEXAN_ENV* m_env;
};
