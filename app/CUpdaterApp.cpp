// The application object.
