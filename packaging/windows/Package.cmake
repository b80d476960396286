# Windows packages: install rules and the NSIS and zip settings.
