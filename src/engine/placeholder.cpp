// (empty until the first file of this layer lands)
