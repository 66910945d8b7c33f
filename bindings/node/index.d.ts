// Barcode images from Node.js, over libquillax.

/** Property values as the `quillax render` command takes them. */
export type PropertyValue = string | number | boolean;

/** Properties by name (any case): BarcodeType, Data, Checksum, ImageTypeStr, Height, ... */
export type Properties = Record<string, PropertyValue>;

/** An encoded image. */
export interface Image {
  data: Buffer;
  /** "image/png", "image/bmp", "image/jpeg", ... */
  contentType: string;
}

/** A property that does not exist, or a value that does not convert to its type. */
export class PropertyError extends Error {
  name: 'PropertyError';
}

/** The image carries an error. */
export class BarcodeError extends Error {
  name: 'BarcodeError';
  /** The failed step (1 to 4); negative when no image was made. */
  result: number;
  /** The error image, or null when none was made. */
  image: Image | null;
}

/** The image of the properties, rendered on the calling thread. */
export function render(properties: Properties): Image;

/** The image of the properties, rendered on a worker thread off the event loop. */
export function renderAsync(properties: Properties): Promise<Image>;
