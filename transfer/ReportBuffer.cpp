// The report buffer and the report kinds are laid out here.
