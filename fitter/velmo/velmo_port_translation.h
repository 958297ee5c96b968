#pragma once
// Port translation of the routing for the loaded design bundle.
class WEXAN_ENV;

class VELMO_PORT_TRANSLATION_MGR {
public:
  explicit VELMO_PORT_TRANSLATION_MGR(WEXAN_ENV* env);
  ~VELMO_PORT_TRANSLATION_MGR();
  VELMO_PORT_TRANSLATION_MGR(const VELMO_PORT_TRANSLATION_MGR&) = delete;
  VELMO_PORT_TRANSLATION_MGR& operator=(const VELMO_PORT_TRANSLATION_MGR&) = delete;

  void perform_port_translation();

private:
  WEXAN_ENV* m_env;
};
