# Linux package: install rules and the .deb settings.
